// A stand-in for the application's start: becomes the one instance or hands its URL to it, and as the
// instance prints "primary" and then one line per request it receives.
#include "app/instance_forwarder.hpp"
#include "app/launch_arguments.hpp"

#include <QCoreApplication>

#include <cstdio>

namespace {

void print(const QByteArray& line) {
    std::fputs((line + '\n').constData(), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const auto arguments = tessaron::LaunchArguments::parse(QCoreApplication::arguments().mid(1));
    if (!std::holds_alternative<tessaron::LaunchArguments>(arguments))
        return 2;

    tessaron::InstanceForwarder forwarder;
    switch (forwarder.start(std::get<tessaron::LaunchArguments>(arguments).url)) {
    case tessaron::InstanceForwarder::Role::handedOver:
        return 0;
    case tessaron::InstanceForwarder::Role::failed:
        return 1;
    case tessaron::InstanceForwarder::Role::primary:
        break;
    }
    QObject::connect(&forwarder, &tessaron::InstanceForwarder::urlOpened,
                     [](const QUrl& url) { print("open " + url.toEncoded()); });
    QObject::connect(&forwarder, &tessaron::InstanceForwarder::raiseRequested, [] { print("raise"); });
    print("primary");
    return application.exec();
}
