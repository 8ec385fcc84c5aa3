#include "ChannelDatabase.h"

#include "PostgresDatabase.h"
#include "SqliteDatabase.h"

std::unique_ptr<ChannelDatabase> ChannelDatabase::forTarget(const QString &strTarget)
{
    if (PostgresDatabase::isConnectionString(strTarget))
        return std::make_unique<PostgresDatabase>(strTarget);
    return std::make_unique<SqliteDatabase>(strTarget);
}
