#include "Settings.h"

#include <QtTest>

class TestSettings : public QObject
{
    Q_OBJECT
private slots:
    void defaults();
};

void TestSettings::defaults()
{
    CSettings s(QStringLiteral("Mirel Software"), QStringLiteral("Mirel Player"));
    QCOMPARE(s.m_nVolume, 100);
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
