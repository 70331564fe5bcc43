#pragma once

#include "link/frame.h"

#include <deque>
#include <functional>
#include <memory>

// Hands every completed frame to those who asked for it: once each, in the order they
// subscribed, all with the same value. What a subscriber asks for is its subscription;
// releasing it (or letting it go out of scope) stops the frames at once, even in the
// middle of handing one out.
class FrameDispatcher {
    struct Entry;
    struct Registry;

public:
    using Handler = std::function<void(const Frame &)>;

    // Held by the subscriber; the frames stop when it is released or destroyed. It may
    // outlive the dispatcher.
    class Subscription {
    public:
        Subscription() = default;
        Subscription(Subscription &&other) noexcept;
        Subscription &operator=(Subscription &&other) noexcept;
        Subscription(const Subscription &) = delete;
        Subscription &operator=(const Subscription &) = delete;
        ~Subscription() { release(); }

        void release();
        bool active() const;

    private:
        friend class FrameDispatcher;
        Subscription(std::weak_ptr<Registry> registry, quint64 id)
            : m_registry(std::move(registry)), m_id(id)
        {
        }
        std::weak_ptr<Registry> m_registry;
        quint64 m_id = 0;
    };

    FrameDispatcher();
    ~FrameDispatcher();

    // Good frames of one type.
    [[nodiscard]] Subscription subscribe(quint8 type, Handler handler);
    // Every good frame.
    [[nodiscard]] Subscription subscribeGood(Handler handler);
    // Every damaged frame (its bytes as they came, frame.good false).
    [[nodiscard]] Subscription subscribeDamaged(Handler handler);
    // Every frame, good or damaged.
    [[nodiscard]] Subscription subscribeAll(Handler handler);

    // To each subscriber that asked for it. A subscriber added meanwhile gets the next.
    void dispatch(const Frame &frame);
    // Subscriptions still held.
    int subscribers() const;

private:
    enum class Wants { OneType, Good, Damaged, All };
    Subscription add(Wants wants, quint8 type, Handler handler);

    std::shared_ptr<Registry> m_registry;
};
