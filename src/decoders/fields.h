#pragma once

#include <QList>
#include <QString>

// One text a decoder produces, by the name of the control that shows it. Members of
// a control array carry their index: "Level(3)", "Health(0)".
struct Field {
    QString name;
    QString text;
    bool operator==(const Field &) const = default;
};

// A decoded frame: its fields in the order the window writes them.
using Fields = QList<Field>;

inline QString fieldText(const Fields &fields, const QString &name)
{
    for (const Field &f : fields)
        if (f.name == name)
            return f.text;
    return {};
}
