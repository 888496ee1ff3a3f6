#include "widgets/paint_census.hpp"

#include "platform/system_clock.hpp"

#include <QApplication>
#include <QFile>
#include <QHash>
#include <QPaintEvent>
#include <QSaveFile>
#include <QWidget>

#include <chrono>

namespace tessaron {

namespace {

class PaintCensus final : public QObject {
public:
    PaintCensus(QApplication& application, QString path)
        : QObject(&application)
        , path_(std::move(path)) {
        application.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && watched->isWidgetType())
            count(static_cast<QWidget*>(watched), static_cast<QPaintEvent*>(event)->region());
        return false;
    }

private:
    struct Tally {
        qint64 paints = 0;
        qint64 pixels = 0;
    };

    void count(const QWidget* widget, const QRegion& region) {
        const QString key =
            QString::fromLatin1(widget->metaObject()->className()) + u' ' + widget->objectName();
        auto& tally = tallies_[key];
        ++tally.paints;
        for (const QRect& rect : region)
            tally.pixels += qint64(rect.width()) * rect.height();
        const auto now = SystemClock::shared().monotonic();
        if (now - written_ >= std::chrono::seconds(1))
            write(now);
    }

    void write(Clock::Duration now) {
        written_ = now;
        QSaveFile file(path_);
        if (!file.open(QIODevice::WriteOnly))
            return;
        file.write(QByteArray::number(std::chrono::duration<double>(now).count(), 'f', 3) + '\n');
        for (auto tally = tallies_.cbegin(); tally != tallies_.cend(); ++tally)
            file.write(QByteArray::number(tally->paints) + '\t' + QByteArray::number(tally->pixels) + '\t' +
                       tally.key().toUtf8() + '\n');
        file.commit();
    }

    QString path_;
    QHash<QString, Tally> tallies_;
    Clock::Duration written_{};
};

} // namespace

void installPaintCensus(QApplication& application, const QString& path) {
    new PaintCensus(application, path);
}

} // namespace tessaron
