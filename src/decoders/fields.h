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

// The names of a control array's members, "Level(1)" .. "Level(8)" from the pattern
// "Level(%1)", made once: a decoder names the same controls for every frame.
class IndexedNames {
public:
    IndexedNames(const char *pattern, int first, int last) : m_first(first)
    {
        for (int i = first; i <= last; ++i)
            m_names.append(QString::fromLatin1(pattern).arg(i));
    }
    const QString &operator[](int index) const { return m_names.at(index - m_first); }

private:
    QList<QString> m_names;
    int m_first;
};

inline QString fieldText(const Fields &fields, const QString &name)
{
    for (const Field &f : fields)
        if (f.name == name)
            return f.text;
    return {};
}
