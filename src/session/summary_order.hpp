#pragma once

#include "profiles/profile_summary.hpp"

#include <QCollator>
#include <QList>
#include <QUuid>

#include <optional>

namespace tessaron {

// The order saved connections are listed in: by name as the user's language sorts it, ignoring letter
// case; connections of the same name by their id, so the order never depends on how they were stored.
class SummaryOrder {
public:
    SummaryOrder();

    bool operator()(const TessaronProfileSummary& a, const TessaronProfileSummary& b) const;

private:
    QCollator collator_;
};

void sortSummaries(QList<TessaronProfileSummary>& summaries);

// One summary per endpoint: summaries whose name and server (ignoring letter case) and port are equal
// are one node. Each node keeps the place of its first summary and is represented by the summary with
// the preferred id when it has one, else by its first.
QList<TessaronProfileSummary> distinctSummaries(const QList<TessaronProfileSummary>& summaries,
                                                const std::optional<QUuid>& preferredID);

} // namespace tessaron
