#pragma once
// TFLogowanie: the modal dialog "Autoryzacja" that admits only a member of
// staff with the administrator right. It looks the typed identifier up in the
// staff table, compares the typed password (enciphered when the record says
// its password is stored so) with HASLO, and requires bit 0 of UPRAWNIENIA.
// It only reads the table.

#include <QDialog>

#include <memory>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class SzyfrowaniePC1;

namespace db {
class TTable;
}

class TFLogowanie : public QDialog {
    Q_OBJECT
public:
    // The key every stored HASLO was enciphered with.
    static constexpr const char* kPasswordKey = "prtmob;hjsw71829364qzlkvnbcxea";

    // personel is the main window's staff table, which the update run opens
    // before it asks for a login. Not owned: the main window keeps it for
    // the whole run of the program, longer than this dialog lives.
    explicit TFLogowanie(db::TTable* personel, QWidget* owner = nullptr);
    ~TFLogowanie() override;

    // Shows the dialog modally and returns, once it has closed, whether an
    // administrator logged in during this showing.
    bool Execute();

    // OnClick of "Zatwierdź": the login check.
    void BitBtn1Click(QObject* sender);
    // OnClick of "Anuluj": closes the dialog; the answer stays false.
    void BitBtn2Click(QObject* sender);

    // Controls, in the order they are created; all owned by the dialog.
    QLabel* Label3 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QFrame* Bevel1 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    db::TTable* FPersonel;
    // The answer of the current showing.
    bool Accepted = false;
    // Holds a cipher only while BitBtn1Click forms the comparison text.
    std::unique_ptr<SzyfrowaniePC1> Cipher;
    // The outer size is applied once, when the window system first knows the
    // frame; afterwards the user's size stands.
    bool FSized = false;
};

// The login dialog of the process, created hidden at start-up after the main
// window.
extern TFLogowanie* FLogowanie;
