#include "ui/dialogs/about_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/language/ui_text_ids.h"
#include "kov_version.h"
#include "ui/app/app_icons.h"
#include "ui/app/ui_text.h"

namespace kov {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    // The menu text without its accelerator and ellipsis.
    QString title = UiText(kGuiAboutProgram, "&About Kov...");
    title.remove('&');
    while (title.endsWith('.'))
        title.chop(1);
    setWindowTitle(title.trimmed());

    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcons::Application().pixmap(64, 64));
    auto* name = new QLabel("<b>Kov</b> " + VersionText(), this);
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    name->setFont(big);
    auto* licence = new QLabel(LicenceText(), this);
    licence->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* text = new QVBoxLayout;
    text->addWidget(name);
    text->addWidget(licence);
    text->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(text, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setText(UiText(kGuiOK, "OK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    setFixedSize(sizeHint().expandedTo({340, 0}));
}

QString AboutDialog::VersionText() {
    return QStringLiteral(KOV_VERSION);
}

QString AboutDialog::LicenceText() {
    // The project publishes no licence of its own yet.
    return UiText(kGuiAboutRights, "");
}

}  // namespace kov
