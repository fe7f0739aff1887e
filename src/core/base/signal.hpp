#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace tarnwell {

// A scoped subscription: the slot stays connected while this object lives.
class Connection {
public:
    Connection() = default;
    explicit Connection(std::function<void()> disconnect) : disconnect_(std::move(disconnect)) {}
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    Connection(Connection&& other) noexcept : disconnect_(std::exchange(other.disconnect_, {})) {}
    Connection& operator=(Connection&& other) noexcept {
        if (this != &other) {
            disconnect();
            disconnect_ = std::exchange(other.disconnect_, {});
        }
        return *this;
    }
    ~Connection() { disconnect(); }

    void disconnect() {
        if (disconnect_) {
            std::exchange(disconnect_, {})();
        }
    }

private:
    std::function<void()> disconnect_;
};

// Change announcements from the core to its observers.
//
// Threading: main thread only, like every state write it announces. A slot may
// connect or disconnect slots (itself included) while the signal is emitting:
// a slot disconnected during an emission is not called afterwards, and a slot
// connected during one is first called by the next. Emitting allocates
// nothing, so it can run on every tick.
template <typename... Args>
class Signal {
public:
    Signal() = default;
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;
    ~Signal() {
        for (auto& slot : state_->slots) {
            slot->connected = false;
        }
    }

    [[nodiscard]] Connection connect(std::function<void(Args...)> fn) {
        auto slot = std::make_shared<Slot>(Slot{std::move(fn), true});
        state_->slots.push_back(slot);
        std::weak_ptr<State> weakState = state_;
        std::weak_ptr<Slot> weakSlot = slot;
        return Connection([weakState, weakSlot] {
            auto s = weakSlot.lock();
            if (!s) {
                return;
            }
            s->connected = false;
            if (auto st = weakState.lock()) {
                st->swept = false;
                st->sweep();
            }
        });
    }

    void emit(Args... args) const {
        // Keeps the slot list alive should a slot destroy this signal.
        const std::shared_ptr<State> state = state_;
        ++state->emitting;
        const std::size_t count = state->slots.size();
        for (std::size_t i = 0; i < count && i < state->slots.size(); ++i) {
            // The list owns the slot until a sweep, and no sweep runs while
            // an emission walks it: a plain pointer is enough, even should
            // the slot connect others and the list grow.
            Slot* slot = state->slots[i].get();
            if (slot->connected) {
                slot->fn(args...);
            }
        }
        --state->emitting;
        state->sweep();
    }

private:
    struct Slot {
        std::function<void(Args...)> fn;
        bool connected;
    };
    struct State {
        std::vector<std::shared_ptr<Slot>> slots;
        int emitting = 0;
        // Whether no disconnected slot is left in the list: an emission on
        // every tick then skips the walk.
        bool swept = true;
        // Removes disconnected slots, unless an emission is walking the list.
        void sweep() {
            if (emitting == 0 && !swept) {
                std::erase_if(slots, [](const auto& slot) { return !slot->connected; });
                swept = true;
            }
        }
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace tarnwell
