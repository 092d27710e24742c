// Drives modal dialogs in widget tests: OnModal runs an action on the next modal dialog that
// is shown, standing in for the person who would answer it, so exec() returns on its own.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <functional>

// Polls every 10 ms for a visible modal dialog and runs `act` on the first one, once.
// REQUIRES: a QApplication exists (the timer belongs to it, so an unanswered wait ends with
// the application rather than leaking).
inline void OnModal(std::function<void(QDialog*)> act) {
    auto* timer = new QTimer(QCoreApplication::instance());
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        act(dialog);
    });
    timer->start();
}
