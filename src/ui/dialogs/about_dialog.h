#pragma once
// "О программе": the program's name and version, and the update server the bench asks for new
// releases ("HOST" or "HOST:PORT"; empty for none). OK keeps an address that parses; a text
// that is not one is refused with a message and the dialog stays open.
#include <QDialog>
#include <QString>

class QDialogButtonBox;
class QLabel;
class QLineEdit;

namespace dravmer::ui {

class CAboutDialog : public QDialog {
    Q_OBJECT
public:
    CAboutDialog(const QString& version, const QString& server, QWidget* parent = nullptr);

    QString Server() const;
    QLineEdit* ServerEdit() const { return m_server; }
    QLabel* ErrorLabel() const { return m_error; }
    QDialogButtonBox* Buttons() const { return m_buttons; }

    void accept() override;

private:
    QLineEdit* m_server = nullptr;
    QLabel* m_error = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
};

}  // namespace dravmer::ui
