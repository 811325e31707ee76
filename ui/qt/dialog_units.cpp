#include "ui/qt/dialog_units.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QWidget>

namespace halden::qt {

namespace {

struct BaseUnits {
    int x;
    int y;
};

BaseUnits baseUnits(const QFont& font) {
    const QFontMetrics fm(font);
    const int width = fm.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return {(width / 26 + 1) / 2, fm.height()};
}

int scale(int units, int base, int divisor) {
    return (units * base + divisor / 2) / divisor;
}

// Room a push button needs around its text.
constexpr int kButtonPadding = 12;

}  // namespace

void applyDialogUnits(QWidget* dialog) {
    const BaseUnits base = baseUnits(dialog->font());
    const QFontMetrics fm(dialog->font());
    int right = scale(dialog->width(), base.x, 4);
    int bottom = scale(dialog->height(), base.y, 8);
    for (QWidget* child : dialog->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        const QRect du = child->geometry();
        QRect px(scale(du.x(), base.x, 4), scale(du.y(), base.y, 8), scale(du.width(), base.x, 4),
                 scale(du.height(), base.y, 8));
        // A combo box's height in a template includes its dropped-down list.
        if (qobject_cast<QComboBox*>(child)) px.setHeight(child->sizeHint().height());
        if (auto* label = qobject_cast<QLabel*>(child)) {
            px.setWidth(std::max(px.width(), fm.horizontalAdvance(label->text()) + 1));
            px.setHeight(std::max(px.height(), fm.height()));
        }
        if (auto* button = qobject_cast<QAbstractButton*>(child)) {
            px.setWidth(
                std::max(px.width(), fm.horizontalAdvance(button->text()) + kButtonPadding));
            px.setHeight(std::max(px.height(), fm.height() + 6));
        }
        child->setGeometry(px);
        right = std::max(right, px.right() + 1 + scale(4, base.x, 4));
        bottom = std::max(bottom, px.bottom() + 1 + scale(4, base.y, 8));
    }
    dialog->setFixedSize(right, bottom);
}

}  // namespace halden::qt
