#pragma once

#include <QDateTime>
#include <QObject>

#include <chrono>

class QTimer;
class QWidget;

namespace tessaron {

// Seconds since 2001-01-01 00:00 UTC: every moving picture derives its frame from this, so that separate
// rings turn in step.
double frameDate(const QDateTime& date);
double currentFrameDate();

// The time between two frames: the display's pace, and the slower pace of decorations that only glide
// (at most 30 frames a second).
inline constexpr std::chrono::milliseconds displayFrameInterval{16};
inline constexpr std::chrono::milliseconds decorationFrameInterval{34};

// Repaints a widget at a steady pace, but only while it is visible and allowed to animate; a hidden or
// still widget runs no timer at all.
class FrameDriver final : public QObject {
    Q_OBJECT
public:
    explicit FrameDriver(QWidget* widget, std::chrono::milliseconds interval = displayFrameInterval);

    void setAnimates(bool animates);
    // The time between frames; the display's pace unless a picture looks the same at a slower one.
    void setFrameInterval(std::chrono::milliseconds interval);
    bool animates() const { return animates_; }
    bool isRunning() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void update();

    QWidget* widget_;
    QTimer* timer_;
    bool animates_ = false;
};

} // namespace tessaron
