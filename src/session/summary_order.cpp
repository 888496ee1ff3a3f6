#include "session/summary_order.hpp"

#include "profiles/json_values.hpp"

#include <QHash>

#include <algorithm>

namespace tessaron {

SummaryOrder::SummaryOrder() {
    collator_.setCaseSensitivity(Qt::CaseInsensitive);
}

bool SummaryOrder::operator()(const TessaronProfileSummary& a, const TessaronProfileSummary& b) const {
    const int byName = collator_.compare(a.name, b.name);
    if (byName != 0)
        return byName < 0;
    return uuidText(a.id) < uuidText(b.id);
}

void sortSummaries(QList<TessaronProfileSummary>& summaries) {
    std::sort(summaries.begin(), summaries.end(), SummaryOrder());
}

namespace {

QString endpointKey(const TessaronProfileSummary& summary) {
    const QChar separator(0x1F);
    return summary.name.toLower() + separator + summary.server.toLower() + separator +
           QString::number(summary.port);
}

} // namespace

QList<TessaronProfileSummary> distinctSummaries(const QList<TessaronProfileSummary>& summaries,
                                                const std::optional<QUuid>& preferredID) {
    QList<TessaronProfileSummary> chosen;
    QHash<QString, qsizetype> placeOfKey;
    for (const auto& summary : summaries) {
        const auto key = endpointKey(summary);
        const auto place = placeOfKey.constFind(key);
        if (place == placeOfKey.cend()) {
            placeOfKey.insert(key, chosen.size());
            chosen.append(summary);
        } else if (preferredID && summary.id == *preferredID && chosen[*place].id != *preferredID) {
            chosen[*place] = summary;
        }
    }
    return chosen;
}

} // namespace tessaron
