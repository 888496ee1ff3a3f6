#include "widgets/scroll_area_accessible.hpp"

#include <QAbstractScrollArea>
#include <QAccessibleWidget>
#include <QScrollArea>
#include <QScrollBar>

#include <mutex>

namespace tessaron {

namespace {

// A scroll area's children come and go with its scroll bars, also when a page over it hides it with its
// bars. A reader counts them in one request and asks for each in the next: Qt's interface answers an index
// counted before a bar went with whatever lies past its list. This one lists the same children, in the same
// order, and answers such an index with none.
class ScrollAreaAccessible final : public QAccessibleWidget {
public:
    explicit ScrollAreaAccessible(QAbstractScrollArea* area)
        : QAccessibleWidget(area, QAccessible::Client) {}

    bool isValid() const override { return QAccessibleWidget::isValid() && area() && area()->viewport(); }
    int childCount() const override { return int(parts().size()); }
    QAccessibleInterface* child(int index) const override {
        const QWidgetList children = parts();
        return index >= 0 && index < children.size() ? QAccessible::queryAccessibleInterface(children[index])
                                                     : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child ? int(parts().indexOf(qobject_cast<QWidget*>(child->object()))) : -1;
    }

private:
    QAbstractScrollArea* area() const { return static_cast<QAbstractScrollArea*>(widget()); }
    // The viewport, the shown scroll bars' containers and the shown corner widget, as Qt lists them.
    QWidgetList parts() const {
        QWidgetList children{area()->viewport()};
        for (const QScrollBar* bar : {area()->horizontalScrollBar(), area()->verticalScrollBar()})
            if (bar->isVisible())
                children.append(bar->parentWidget());
        if (QWidget* corner = area()->cornerWidget(); corner && corner->isVisible())
            children.append(corner);
        return children;
    }
};

// Asked for each class from the most derived up, before Qt's own factory: item views and text editors meet
// Qt's interfaces of their own first, so this one takes only what Qt would give its scroll area interface.
QAccessibleInterface* scrollAreaFactory(const QString& className, QObject* object) {
    auto* area = qobject_cast<QAbstractScrollArea*>(object);
    if (area && (className == QLatin1String(QScrollArea::staticMetaObject.className()) ||
                 className == QLatin1String(QAbstractScrollArea::staticMetaObject.className())))
        return new ScrollAreaAccessible(area);
    return nullptr;
}

} // namespace

void installScrollAreaAccessible() {
    static std::once_flag installed;
    std::call_once(installed, [] { QAccessible::installFactory(scrollAreaFactory); });
}

} // namespace tessaron
