#pragma once

#include <QGroupBox>
#include <QStringList>

class QLineEdit;
class QListWidget;
class QPushButton;

// The options dialog's section of guide addresses: the user's own list, to
// which an http(s) URL or a local file can be added and from which entries
// can be removed. Addresses that are neither are not taken (Add stays off).
class GuideSourcesEditor : public QGroupBox
{
    Q_OBJECT

public:
    explicit GuideSourcesEditor(QWidget *parent = nullptr);

    void setAddresses(const QStringList &lstAddresses);
    QStringList addresses() const;

private:
    void add();
    void removeSelected();
    void updateButtons();

    QListWidget *m_pList;
    QLineEdit *m_pEdit;
    QPushButton *m_pAdd;
    QPushButton *m_pRemove;
};
