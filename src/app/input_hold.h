// Holds the input meant for one window while a scan lets the message queue
// run, and hands it back, in order, once the scan has ended: a scan never
// runs inside another, and nothing typed, clicked or dropped meanwhile is
// lost or sees a half-built result list.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <vector>

class QEvent;
class QWidget;

class TInputHold : public QObject {
public:
    explicit TInputHold(QWidget* window);
    ~TInputHold() override;
    TInputHold(const TInputHold&) = delete;
    TInputHold& operator=(const TInputHold&) = delete;

    bool Holding() const { return depth_ > 0; }
    // Holding starts with the first Begin and ends with the matching End,
    // which queues everything held, in arrival order, behind the events
    // already waiting.
    void Begin();
    void End();

    // Runs call now, or once the hold has ended.
    void RunOrHold(std::function<void()> call);

    // Keeps a scan's hold for the scope it is made in, also when the scan
    // ends with an error.
    class TScope {
    public:
        explicit TScope(TInputHold& hold) : hold_(hold) { hold_.Begin(); }
        ~TScope() { hold_.End(); }
        TScope(const TScope&) = delete;
        TScope& operator=(const TScope&) = delete;

    private:
        TInputHold& hold_;
    };

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct THeld {
        QPointer<QObject> receiver;
        std::unique_ptr<QEvent> event;  // null for a held call
        std::function<void()> call;
    };

    bool IsOurs(QObject* watched) const;

    QWidget* window_;
    int depth_ = 0;
    std::vector<THeld> held_;
};
