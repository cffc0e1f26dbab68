// SPDX-License-Identifier: MIT
#include "framework/radio_button.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace krx {
namespace {

// The caption without its mnemonic markers ("&&" stands for one ampersand).
QString withoutMnemonics(const QString& caption) {
    QString plain;
    plain.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'&' && ++i == caption.size())
            break;
        plain += caption[i];
    }
    return plain;
}

class RadioButtonAccessible final : public QAccessibleWidget {
  public:
    explicit RadioButtonAccessible(CRadioButton* button)
        : QAccessibleWidget(button, QAccessible::RadioButton) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return withoutMnemonics(button()->text());
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = true;
        state.checked = button()->isChecked();
        state.pressed = button()->isDown();
        return state;
    }

    QStringList actionNames() const override {
        QStringList names;
        if (widget()->isEnabled())
            names << toggleAction();
        return names + QAccessibleWidget::actionNames();
    }

    // click() does nothing on a disabled button, as the mouse does.
    void doAction(const QString& name) override {
        if (name == toggleAction() || name == pressAction())
            button()->click();
        else
            QAccessibleWidget::doAction(name);
    }

  private:
    CRadioButton* button() const { return static_cast<CRadioButton*>(widget()); }
};

QAccessibleInterface* radioButtonAccessible(const QString& /*className*/, QObject* object) {
    auto* button = dynamic_cast<CRadioButton*>(object);
    return button != nullptr ? new RadioButtonAccessible(button) : nullptr;
}

}  // namespace

CRadioButton::CRadioButton(const QString& text, QWidget* parent) : QRadioButton(parent) {
    // Installed once, after the application's own factories, so it is asked first.
    static const bool installed = [] {
        QAccessible::installFactory(radioButtonAccessible);
        return true;
    }();
    (void)installed;
    // The caption is set only now: setting it announces a new name, for which the toolkit builds
    // and keeps the button's accessible interface. Inside the base's constructor that would be
    // the plain radio's, whose action only checks the button.
    setText(text);
}

}  // namespace krx
