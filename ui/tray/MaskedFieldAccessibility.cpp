// SPDX-License-Identifier: GPL-3.0-or-later
#include "MaskedFieldAccessibility.h"

#include <QtQuick/private/qaccessiblequickitem_p.h>
#include <QtQuick/private/qquicktextinput_p.h>

namespace OrvelanNimbal::Panel {

namespace {

// Qt Quick's interface for the field, with every way to its text closed: the value, the text
// interface's ranges and offsets, the selection and the cursor. What it types still reaches
// the field: keys go to the focused item, not through this interface.
class MaskedFieldAccessible final : public QAccessibleQuickItem {
public:
    using QAccessibleQuickItem::QAccessibleQuickItem;

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleQuickItem::state();
        state.passwordEdit = true;
        return state;
    }
    QString text(QAccessible::Text type) const override
    {
        return type == QAccessible::Value ? QString() : QAccessibleQuickItem::text(type);
    }
    void setText(QAccessible::Text, const QString &) override {}

    QString text(int, int) const override { return {}; }
    QString textBeforeOffset(int, QAccessible::TextBoundaryType, int *start,
                             int *end) const override
    {
        return nothing(start, end);
    }
    QString textAfterOffset(int, QAccessible::TextBoundaryType, int *start,
                            int *end) const override
    {
        return nothing(start, end);
    }
    QString textAtOffset(int, QAccessible::TextBoundaryType, int *start, int *end) const override
    {
        return nothing(start, end);
    }
    int characterCount() const override { return 0; }
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    int selectionCount() const override { return 0; }
    void selection(int, int *start, int *end) const override { nothing(start, end); }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}

    // A field's value is its text: none is offered.
    QVariant currentValue() const override { return {}; }
    void setCurrentValue(const QVariant &) override {}

private:
    static QString nothing(int *start, int *end)
    {
        *start = 0;
        *end = 0;
        return {};
    }
};

QAccessibleInterface *maskedFields(const QString &, QObject *object)
{
    auto *field = qobject_cast<QQuickTextInput *>(object);
    if (!field || !field->property("masksAccessibleText").toBool())
        return nullptr;
    return new MaskedFieldAccessible(field);
}

} // namespace

void installMaskedFieldAccessibility()
{
    QAccessible::installFactory(maskedFields);
}

} // namespace OrvelanNimbal::Panel
