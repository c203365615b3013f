#pragma once

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

namespace korvalt {

// Holds the one instance of a window class (which offers Form_Load(), its
// load step). The window is created (and its
// load step run) when it is first referred to; unloading destroys it, and
// the next reference creates it afresh. Closing the window through its
// title bar unloads it too.
template <typename T> class WindowSlot {
public:
    T& get() {
        if (!m_window) {
            m_window = std::make_unique<T>();
            // Owned by the window, so it goes with it.
            new CloseWatcher(m_window.get(), [this] { unload(); });
            // The load step runs once the window is reachable through its
            // slot, since it may refer to the window's own controls that way.
            m_window->Form_Load();
        }
        return *m_window;
    }
    bool loaded() const { return m_window != nullptr; }
    T* ifLoaded() const { return m_window.get(); }

    // Hides and destroys the window. The object may be in the middle of one
    // of its own event handlers, so Qt deletes it once control is back in
    // the event loop.
    void unload() {
        if (!m_window)
            return;
        QPointer<T> window(m_window.release());
        window->hide();
        window->deleteLater();
    }

private:
    class CloseWatcher : public QObject {
    public:
        CloseWatcher(QWidget* window, std::function<void()> onClose)
            : QObject(window), m_onClose(std::move(onClose)) {
            window->installEventFilter(this);
        }
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (watched == parent() && event->type() == QEvent::Close)
                m_onClose();
            return false;
        }

    private:
        std::function<void()> m_onClose;
    };

    std::unique_ptr<T> m_window;
};

} // namespace korvalt
