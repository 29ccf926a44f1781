#include "login/Logowanie.h"

#include "db/TField.h"
#include "db/TTable.h"
#include "login/Szyfrowaniepc1.h"
#include "platform/Application.h"
#include "platform/Forms.h"
#include "platform/Win1250.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>
#include <QWindow>

#include <algorithm>
#include <limits>

TFLogowanie* FLogowanie = nullptr;

namespace {

// The designed outer size of the dialog, frame and title bar included.
constexpr int kOuterWidth = 467;
constexpr int kOuterHeight = 195;

// What an upper-casing edit box of Windows-1250 text holds: every character
// typed, pasted or set is taken into the code page (a character it lacks
// becomes "?") and upper-cased by its table. Only a character outside the
// Basic Multilingual Plane, two UTF-16 units, shrinks to one: the cursor
// moves back by those before it, so it stays after the same character.
class TAnsiUpperCaseValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& position) const override {
        int pairs = 0;
        for (int i = 0; i + 1 < position && i + 1 < input.size(); ++i)
            if (input[i].isHighSurrogate() && input[i + 1].isLowSurrogate())
                ++pairs;
        input = platform::ToQString(platform::AnsiUpperCase(platform::FromQString(input)));
        position -= pairs;
        return Acceptable;
    }
};

QLabel* NewLabel(QWidget* owner, const char* name, const QRect& geometry, const char* utf8Text) {
    auto* label = new QLabel(owner);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    label->setTextFormat(Qt::PlainText);
    label->setText(QString::fromUtf8(utf8Text));
    // The label sizes itself to its text, as designed, so a wider substitute
    // for the design's font does not cut it off.
    label->resize(std::max(label->width(), label->sizeHint().width()), label->height());
    return label;
}

QLineEdit* NewEdit(QWidget* owner, const char* name, const QRect& geometry) {
    auto* edit = new QLineEdit(owner);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(geometry);
    edit->setValidator(new TAnsiUpperCaseValidator(edit));
    return edit;
}

QPushButton* NewButton(QWidget* owner, const char* name, const QRect& geometry,
                       const char* utf8Text) {
    auto* button = new QPushButton(owner);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(geometry);
    button->setText(QString::fromUtf8(utf8Text));
    return button;
}

} // namespace

TFLogowanie::TFLogowanie(db::TTable* personel, QWidget* owner)
    : QDialog(owner), FPersonel(personel) {
    // Form: an ordinary sizeable dialog, sizes in pixels, centred when shown.
    setWindowTitle(QStringLiteral("Autoryzacja"));
    resize(kOuterWidth, kOuterHeight);
    platform::ApplyFormDefaults(this);

    Label3 = NewLabel(this, "Label3", {8, 16, 366, 16},
                      "Wprowadź nazwę użytkownika z uprawnieniami administratora");
    Label1 = NewLabel(this, "Label1", {96, 48, 72, 16}, "Identyfikator");
    Edit1 = NewEdit(this, "Edit1", {192, 40, 57, 24});
    Edit1->setMaxLength(2);
    Label2 = NewLabel(this, "Label2", {96, 72, 36, 16}, "Hasło");
    Edit2 = NewEdit(this, "Edit2", {192, 64, 121, 24});
    Edit2->setEchoMode(QLineEdit::Password);
    // The password has no length limit of its own (Qt's default is 32767).
    Edit2->setMaxLength(std::numeric_limits<int>::max());
    Edit2->setStyleSheet(QStringLiteral(
        "QLineEdit { lineedit-password-character: 42; lineedit-password-mask-delay: 0; }"));

    // A divider: one sunken line along the bottom edge of its rectangle.
    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setGeometry(8, 96, 441, 10);
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setFrameRect(QRect(0, Bevel1->height() - 2, Bevel1->width(), 2));

    BitBtn1 = NewButton(this, "BitBtn1", {136, 120, 75, 25}, "Zatwierdź");
    // The default button: Enter in either edit box presses it.
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this,
            [this] { platform::Guard([this] { BitBtn1Click(BitBtn1); }); });
    BitBtn2 = NewButton(this, "BitBtn2", {216, 120, 75, 25}, "Anuluj");
    connect(BitBtn2, &QPushButton::clicked, this,
            [this] { platform::Guard([this] { BitBtn2Click(BitBtn2); }); });

    setTabOrder(Edit1, Edit2);
    setTabOrder(Edit2, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
    // The first showing starts in the first control in tab order.
    Edit1->setFocus();
}

TFLogowanie::~TFLogowanie() = default;

bool TFLogowanie::Execute() {
    Accepted = false;
    exec();
    return Accepted;
}

void TFLogowanie::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    if (!FSized && windowHandle()) {
        // The design gives the outer size; the client area is what the
        // window system's frame leaves of it, where it tells the frame
        // before the window appears.
        const QMargins frame = windowHandle()->frameMargins();
        resize(kOuterWidth - frame.left() - frame.right(),
               kOuterHeight - frame.top() - frame.bottom());
        FSized = true;
    }
    platform::ApplyPosition(this, platform::poScreenCenter);
}

void TFLogowanie::keyPressEvent(QKeyEvent* event) {
    // Escape is bound to no button: it neither cancels nor closes.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFLogowanie::BitBtn1Click(QObject*) {
    const std::string caption = platform::Pl("Błąd");
    constexpr int flags = platform::MB_OK | platform::MB_ICONSTOP;

    // An engine failure in any step below is left to the standard exception
    // display; the dialog stays open and the answer stays false.
    if (!FPersonel->FindKey(db::Value(platform::FromQString(Edit1->text())))) {
        platform::MessageBox("Niepoprawny identyfikator", caption, flags);
        return;
    }

    const std::string typed = platform::FromQString(Edit2->text());
    std::string comparison;
    Cipher = std::make_unique<SzyfrowaniePC1>();
    try {
        const db::TField* coding = FPersonel->FindField("KODOWANIE");
        comparison =
            coding && coding->getAsInteger() == 1 ? Cipher->Encrypt(kPasswordKey, typed) : typed;
    } catch (...) {
        Cipher.reset();
        throw;
    }
    Cipher.reset();

    // Exact: same length, same bytes, no trimming.
    if (FPersonel->FieldByName("HASLO")->getAsString() != comparison) {
        platform::MessageBox(platform::Pl("Niepoprawne hasło"), caption, flags);
        return;
    }

    if ((FPersonel->FieldByName("UPRAWNIENIA")->getAsInteger() & 1) == 0) {
        platform::MessageBox(platform::Pl("Wybrana osoba musi mieć prawa administraotra"), caption,
                             flags);
        return;
    }
    Accepted = true;
    Edit2->clear();
    close();
}

void TFLogowanie::BitBtn2Click(QObject*) {
    close();
}
