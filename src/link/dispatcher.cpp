#include "link/dispatcher.h"

#include <algorithm>

struct FrameDispatcher::Entry {
    quint64 id = 0;
    Wants wants = Wants::All;
    quint8 type = 0;
    Handler handler;
    // False once released. A release while frames are handed out leaves the row (and
    // the handler, which may be the one running) in place until the hand-out ends.
    bool live = true;

    bool takes(const Frame &f) const
    {
        switch (wants) {
        case Wants::OneType:
            return f.good && f.type() == type;
        case Wants::Good:
            return f.good;
        case Wants::Damaged:
            return !f.good;
        case Wants::All:
            return true;
        }
        return false;
    }
};

struct FrameDispatcher::Registry {
    // A deque: a subscriber added during a hand-out moves no row being called.
    std::deque<Entry> entries;
    quint64 nextId = 1;
    int depth = 0;
    bool released = false;

    void remove(quint64 id)
    {
        const auto it = std::find_if(entries.begin(), entries.end(),
                                     [id](const Entry &e) { return e.id == id; });
        if (it == entries.end())
            return;
        if (depth > 0) {
            it->live = false;
            released = true;
        } else {
            entries.erase(it);
        }
    }
};

FrameDispatcher::Subscription::Subscription(Subscription &&other) noexcept
    : m_registry(std::move(other.m_registry)), m_id(std::exchange(other.m_id, 0))
{
}

FrameDispatcher::Subscription &
FrameDispatcher::Subscription::operator=(Subscription &&other) noexcept
{
    if (this != &other) {
        release();
        m_registry = std::move(other.m_registry);
        m_id = std::exchange(other.m_id, 0);
    }
    return *this;
}

void FrameDispatcher::Subscription::release()
{
    if (const std::shared_ptr<Registry> r = m_registry.lock())
        r->remove(m_id);
    m_registry.reset();
    m_id = 0;
}

bool FrameDispatcher::Subscription::active() const
{
    return m_id != 0 && !m_registry.expired();
}

FrameDispatcher::FrameDispatcher() : m_registry(std::make_shared<Registry>()) {}

FrameDispatcher::~FrameDispatcher() = default;

FrameDispatcher::Subscription FrameDispatcher::subscribe(quint8 type, Handler handler)
{
    return add(Wants::OneType, type, std::move(handler));
}

FrameDispatcher::Subscription FrameDispatcher::subscribeGood(Handler handler)
{
    return add(Wants::Good, 0, std::move(handler));
}

FrameDispatcher::Subscription FrameDispatcher::subscribeDamaged(Handler handler)
{
    return add(Wants::Damaged, 0, std::move(handler));
}

FrameDispatcher::Subscription FrameDispatcher::subscribeAll(Handler handler)
{
    return add(Wants::All, 0, std::move(handler));
}

FrameDispatcher::Subscription FrameDispatcher::add(Wants wants, quint8 type, Handler handler)
{
    const quint64 id = m_registry->nextId++;
    m_registry->entries.push_back({id, wants, type, std::move(handler), true});
    return Subscription(m_registry, id);
}

void FrameDispatcher::dispatch(const Frame &frame)
{
    // Kept alive through the hand-out, whatever a subscriber does meanwhile.
    const std::shared_ptr<Registry> r = m_registry;
    ++r->depth;
    const std::size_t count = r->entries.size();
    for (std::size_t i = 0; i < count; ++i) {
        const Entry &e = r->entries[i];
        if (e.live && e.takes(frame))
            e.handler(frame);
    }
    if (--r->depth == 0 && r->released) {
        r->released = false;
        std::erase_if(r->entries, [](const Entry &e) { return !e.live; });
    }
}

int FrameDispatcher::subscribers() const
{
    return int(std::count_if(m_registry->entries.begin(), m_registry->entries.end(),
                             [](const Entry &e) { return e.live; }));
}
