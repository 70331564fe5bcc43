#pragma once

#include "decoders/fields.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QtGlobal>
#include <algorithm>
#include <initializer_list>
#include <utility>

// The texts of one window, kept from one message to the next. A decoder hands each
// field over in the same order every time, with a key that holds everything its text
// is made from (the frame bytes, a setting); the text is made again only when that key
// differs from the last message's. Most fields of a message stay the same from one to
// the next, so most messages make few new texts, and a window updates only the
// controls whose text changed.
class FieldStore {
public:
    // Up to eight bytes packed into one key, first byte highest.
    static quint64 key(std::initializer_list<quint8> bytes)
    {
        quint64 k = 0;
        for (const quint8 b : bytes)
            k = k << 8 | b;
        return k;
    }

    // Starts a message: the fields follow in order from the first.
    void begin()
    {
        m_next = 0;
        m_changed.clear();
    }

    // The next field: its text is make() unless `key` is the key it was made from last.
    template <class Make> void next(const QString &name, quint64 key, Make &&make)
    {
        Slot *s = slot(name);
        if (!s || (s->made && s->key == key))
            return;
        s->key = key;
        s->made = true;
        changeTo(*s, std::forward<Make>(make)());
    }

    // The next field, made from a run of bytes too long for a key (a dump of the frame).
    template <class Make> void next(const QString &name, QByteArrayView bytes, Make &&make)
    {
        Slot *s = slot(name);
        if (!s || (s->made && s->bytes == bytes))
            return;
        // The slot's own buffer is reused: a dump changes with every message.
        s->bytes.resize(bytes.size());
        std::copy(bytes.begin(), bytes.end(), s->bytes.begin());
        s->made = true;
        changeTo(*s, std::forward<Make>(make)());
    }

    // Every field's text, in order.
    const Fields &fields() const { return m_fields; }
    // The positions in fields() whose text the last message changed, in order.
    const QList<qsizetype> &changed() const { return m_changed; }

private:
    struct Slot {
        quint64 key = 0;
        QByteArray bytes;
        bool made = false;
    };

    // The slot of the next field, or null when `name` is not the field that stands there.
    Slot *slot(const QString &name)
    {
        if (m_next == m_fields.size()) {
            m_fields.append(Field{name, {}});
            m_slots.append(Slot{});
        } else if (m_fields[m_next].name != name) {
            misplaced(m_fields[m_next++].name, name);
            return nullptr;
        }
        return &m_slots[m_next++];
    }

    // A decoder that changed the order of its fields would put a text under another
    // field's name: a fault of the decoder, which stops a debug build. A release build
    // says so once and leaves the text that stands there as it was.
    void misplaced(const QString &expected, const QString &given)
    {
        const QByteArray what =
            QStringLiteral("field %1 given where %2 stands").arg(given, expected).toUtf8();
        Q_ASSERT_X(false, "FieldStore", what.constData());
        if (!m_warned)
            qWarning("FieldStore: %s; such fields are left as they were", what.constData());
        m_warned = true;
    }

    void changeTo(const Slot &s, QString text)
    {
        const qsizetype index = &s - m_slots.constData();
        Field &f = m_fields[index];
        if (f.text == text)
            return;
        f.text = std::move(text);
        m_changed.append(index);
    }

    Fields m_fields;
    QList<Slot> m_slots;
    QList<qsizetype> m_changed;
    qsizetype m_next = 0;
    bool m_warned = false;
};
