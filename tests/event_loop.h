#pragma once
// Helpers for widget tests that drive the program's event loop by hand.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QThread>
#include <functional>

namespace bleeptone::testing {

// Delivers what is posted, and what that posts in turn.
inline void runPosted() {
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

// Serves events (deferred deletes too) until the condition holds; the bound
// only turns a hang into a failure.
inline bool serveUntil(const std::function<bool()>& done, int limitMs = 60000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > limitMs) return false;
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

// Serves events for a while, giving any stray timer the chance to fire.
inline void serveFor(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

}  // namespace bleeptone::testing
