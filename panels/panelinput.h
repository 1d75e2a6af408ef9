#pragma once
// Reading numbers typed into the panels' line edits.

#include <QLineEdit>
#include <QLocale>
#include <QValidator>

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

// Validators parse with the C locale, as the panels do: "2.50", never "2,50".
template <class V>
V* c_locale(V* validator)
{
    validator->setLocale(QLocale::c());
    return validator;
}
