// tessaron-screenshot [--window TITLE] [--timeout SECONDS] OUTPUT.png
// Saves the whole screen of the X display as a PNG. With --window it first waits until a window with
// that title is shown and has painted, so a script can start an application and take its picture without
// guessing; when none painted within the timeout it writes nothing, says so and fails.
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

namespace {

constexpr int pollMilliseconds = 100;

template <typename Reply> using XcbReply = std::unique_ptr<Reply, decltype(&std::free)>;

template <typename Reply> XcbReply<Reply> own(Reply* reply) {
    return XcbReply<Reply>(reply, &std::free);
}

bool isTitled(xcb_connection_t* connection, xcb_window_t window, const QByteArray& title) {
    const auto cookie =
        xcb_get_property(connection, 0, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256);
    const auto reply = own(xcb_get_property_reply(connection, cookie, nullptr));
    if (!reply)
        return false;
    const auto* value = static_cast<const char*>(xcb_get_property_value(reply.get()));
    return QByteArray(value, xcb_get_property_value_length(reply.get())) == title;
}

bool isViewable(xcb_connection_t* connection, xcb_window_t window) {
    const auto reply = own(
        xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window), nullptr));
    return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
}

// Searches below `parent`, since a window manager puts each application window inside a frame of its own.
std::optional<xcb_window_t> shownWindowTitled(xcb_connection_t* connection, xcb_window_t parent,
                                              const QByteArray& title) {
    const auto tree = own(xcb_query_tree_reply(connection, xcb_query_tree(connection, parent), nullptr));
    if (!tree)
        return std::nullopt;
    const auto* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        if (!isViewable(connection, children[i]))
            continue;
        if (isTitled(connection, children[i], title))
            return children[i];
        if (const auto found = shownWindowTitled(connection, children[i], title))
            return found;
    }
    return std::nullopt;
}

// A window is mapped well before its first frame (seconds for a debug build on a busy machine), and until
// then it shows no picture of its own: an application window has no background, so it shows one flat colour,
// what the server left there (black on the fresh display a script starts), or the window manager's plain
// background. Any two colours in it mean something drew there.
bool hasPainted(WId window) {
    const QImage shown = QGuiApplication::primaryScreen()->grabWindow(window).toImage();
    if (shown.isNull())
        return false;
    const QRgb first = shown.pixel(0, 0);
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            if (shown.pixel(x, y) != first)
                return true;
    return false;
}

bool saveScreen(const QString& path) {
    if (QGuiApplication::primaryScreen()->grabWindow(0).save(path, "PNG"))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    // The picture is of a real X display, never of the offscreen platform a test environment may set.
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication application(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Saves the X screen as a PNG."));
    parser.addHelpOption();
    const QCommandLineOption windowOption(QStringLiteral("window"),
                                          QStringLiteral("Wait until a window titled <title> is shown."),
                                          QStringLiteral("title"));
    const QCommandLineOption timeoutOption(QStringLiteral("timeout"),
                                           QStringLiteral("Give up waiting after <seconds> (default 30)."),
                                           QStringLiteral("seconds"), QStringLiteral("30"));
    parser.addOptions({windowOption, timeoutOption});
    parser.addPositionalArgument(QStringLiteral("output"), QStringLiteral("The PNG file to write."));
    parser.process(application);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);
    const auto output = parser.positionalArguments().constFirst();

    if (!parser.isSet(windowOption))
        return saveScreen(output) ? 0 : 1;

    auto* x11 = application.nativeInterface<QNativeInterface::QX11Application>();
    auto* connection = x11->connection();
    const auto root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const auto title = parser.value(windowOption).toUtf8();
    const qint64 timeout = parser.value(timeoutOption).toLongLong() * 1000;

    QElapsedTimer waited;
    waited.start();
    QTimer poll;
    bool appeared = false;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const auto window = shownWindowTitled(connection, root, title);
        appeared = appeared || window;
        if (window && hasPainted(*window)) {
            poll.stop();
            QCoreApplication::exit(saveScreen(output) ? 0 : 1);
        } else if (waited.elapsed() > timeout) {
            poll.stop();
            std::fprintf(
                stderr,
                appeared ? "the window titled \"%s\" painted nothing within the timeout; no picture taken\n"
                         : "no window titled \"%s\" appeared; no picture taken\n",
                title.constData());
            QCoreApplication::exit(1);
        }
    });
    poll.start(pollMilliseconds);
    return QCoreApplication::exec();
}
