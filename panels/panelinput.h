#pragma once
// Reading numbers typed into the panels' line edits.

#include <QDoubleValidator>
#include <QIntValidator>
#include <QLineEdit>
#include <QLocale>
#include <QValidator>

#include <cmath>
#include <functional>
#include <utility>

// True and the number in `value` when `text` is a complete number that the
// edit's validator accepts. QLineEdit also lets "intermediate" text through
// while the user types ("-", or 75 in a 1..59 field); such text is not a
// setting and must not reach the instrument.
inline bool accepted_number(const QLineEdit* edit, QString text, int* value)
{
    if (text.isEmpty())
        return false;
    if (const QValidator* v = edit->validator()) {
        int pos = 0;
        if (v->validate(text, pos) != QValidator::Acceptable)
            return false;
    }
    bool ok = false;
    const int n = QLocale::c().toInt(text, &ok);
    if (!ok)
        return false;
    *value = n;
    return true;
}

// Validators of the number fields. QLineEdit asks them to fix up text that is
// still half-typed when editing ends (Return, or focus leaving the field): a
// number past the range is capped, so the field shows what will be stored;
// anything else (empty, "-") gives back the stored value, which `stored`
// returns as text. Both parse with the C locale, as the panels do: "2.50".
class FieldIntValidator : public QIntValidator {
public:
    FieldIntValidator(int bottom, int top, std::function<QString()> stored, QObject* parent)
        : QIntValidator(bottom, top, parent), stored_(std::move(stored))
    {
        setLocale(QLocale::c());
    }
    void fixup(QString& text) const override
    {
        bool ok = false;
        const qlonglong v = QLocale::c().toLongLong(text, &ok);
        text = ok ? QString::number(qBound(qlonglong(bottom()), v, qlonglong(top()))) : stored_();
    }

private:
    std::function<QString()> stored_;
};

class FieldDoubleValidator : public QDoubleValidator {
public:
    FieldDoubleValidator(double bottom, double top, int decimals, std::function<QString()> stored, QObject* parent)
        : QDoubleValidator(bottom, top, decimals, parent), stored_(std::move(stored))
    {
        setLocale(QLocale::c());
        setNotation(StandardNotation);
    }
    void fixup(QString& text) const override
    {
        bool ok = false;
        const double v = QLocale::c().toDouble(text, &ok);
        text = ok && std::isfinite(v) ? QString::number(qBound(bottom(), v, top()), 'f', decimals()) : stored_();
    }

private:
    std::function<QString()> stored_;
};

// Editing of `edit` has ended with text its validator accepts. Stores the
// number in `field` when it differs and shows the field's value as a reload
// would; true when the model changed and must be sent.
template <class T>
bool settle_number(QLineEdit* edit, T& field)
{
    int v = 0;
    const bool changed = accepted_number(edit, edit->text(), &v) && T(v) != field;
    if (changed)
        field = T(v);
    edit->setText(QString::number(field));
    return changed;
}
