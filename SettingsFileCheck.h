#pragma once

#include <QSettings>
#include <QTemporaryDir>
#include <QVariant>

#include <memory>

// Looks at the settings file before the store opens it. QSettings refuses to
// write a file it could not parse, so a damaged file would silently swallow
// every later change: such a file is moved aside (nothing the user had is
// destroyed) and the store starts from the defaults.
//
// The check reads a copy of the file without its channel-list lines,
// which make up nearly all of a big file (a list of 200,000 channels is a file
// of 50 MB) and cannot make it unparsable, since their keys are fixed. The
// same copy gives the values of the other keys at once: opening the file
// itself with QSettings would read and split all of it first.
class SettingsFileCheck
{
public:
    explicit SettingsFileCheck(const QString &strPath);
    ~SettingsFileCheck();

    // The value of a key other than the two channel lists, as the store
    // would read it.
    QVariant value(const QString &strKey, const QVariant &defaultValue = QVariant()) const;

    // The store's file: where QSettings keeps the settings of an application
    // for the user ("~/.config/<organization>/<application>.conf"), found
    // without opening it.
    static QString storePath(const QString &strOrganization, const QString &strApplication);

private:
    bool copyWithoutLists(const QString &strPath, const QString &strCopy) const;

    QTemporaryDir m_dir;
    std::unique_ptr<QSettings> m_pCopy;
};
