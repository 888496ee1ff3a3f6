#include "app/model_home_account.hpp"

#include "account/account_model.hpp"
#include "session/tessaron_session.hpp"

#include <QMetaObject>
#include <QPointer>

#include <qcoro/qcorosignal.h>

#include <utility>

namespace tessaron {

ModelHomeAccount::ModelHomeAccount(TessaronAccountModel& model, QObject* parent)
    : TessaronHomeAccount(parent)
    , model_(model) {
    connect(&model_, &TessaronAccountModel::isSignedInChanged, this, &TessaronHomeAccount::changed);
    connect(&model_, &TessaronAccountModel::accountChanged, this, &TessaronHomeAccount::changed);
    connect(&model_, &TessaronAccountModel::signInStateBecameKnown, this, &TessaronHomeAccount::changed);
}

bool ModelHomeAccount::isSignedIn() const {
    // Until the stored token has been read, a signed-in user must not be offered the sign-in: the view
    // shows what it shows for a signed-in user whose account has not arrived, which is nothing.
    return !model_.isSignInStateKnown() || model_.isSignedIn();
}

std::optional<QString> ModelHomeAccount::accountEmail() const {
    const auto& account = model_.account();
    if (!account || account->email.isEmpty())
        return std::nullopt;
    return account->email;
}

QCoro::Task<> ModelHomeAccount::refresh(TessaronSession* session, CancellationToken cancellation) {
    if (held_) {
        QPointer self(this);
        QPointer sessionRef(session);
        co_await qCoro(this, &ModelHomeAccount::released);
        if (!self || cancellation.isCancelled())
            co_return;
        session = sessionRef.data();
    }
    co_await model_.refresh(session, std::move(cancellation));
}

void ModelHomeAccount::release() {
    if (std::exchange(held_, false))
        Q_EMIT released();
}

void startAccountAfterFirstPaint(ModelHomeAccount& home, TessaronAccountModel& model, bool launchRefresh) {
    home.release();
    if (!launchRefresh)
        return;
    QMetaObject::invokeMethod(
        &model, [model = &model] { model->refresh(nullptr); }, Qt::QueuedConnection);
}

} // namespace tessaron
