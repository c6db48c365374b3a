#include "picture/XpmCheck.h"

#include <QList>
#include <algorithm>
#include <optional>
#include <vector>

namespace kelviq {

namespace {

// The quoted strings of an XPM file's array, in order; complete is set when the closing brace
// was found.
std::vector<QByteArray> xpmStrings(const QByteArray& data, bool* complete, qsizetype limit)
{
    std::vector<QByteArray> strings;
    *complete = false;
    qsizetype at = data.indexOf('{');
    if (at < 0)
        return strings;
    const qsizetype end = data.size();
    for (++at; at < end && qsizetype(strings.size()) < limit;) {
        const char c = data[at];
        if (c == '"') {
            const qsizetype close = data.indexOf('"', at + 1);
            if (close < 0)
                return strings;
            strings.push_back(data.mid(at + 1, close - at - 1));
            at = close + 1;
        } else if (c == '/' && at + 1 < end && data[at + 1] == '*') {
            const qsizetype close = data.indexOf("*/", at + 2);
            if (close < 0)
                return strings;
            at = close + 2;
        } else if (c == '}') {
            *complete = true;
            return strings;
        } else {
            ++at;
        }
    }
    if (at < end && data.indexOf('}', at) >= 0)
        *complete = true;
    return strings;
}

struct XpmValues
{
    qint64 width = 0;
    qint64 height = 0;
    qint64 colors = 0;
    qint64 charsPerPixel = 0;
};

std::optional<XpmValues> xpmValues(const QByteArray& first)
{
    const QList<QByteArray> fields = first.simplified().split(' ');
    if (fields.size() < 4)
        return std::nullopt;
    XpmValues values;
    bool ok[4] = {};
    values.width = fields[0].toLongLong(&ok[0]);
    values.height = fields[1].toLongLong(&ok[1]);
    values.colors = fields[2].toLongLong(&ok[2]);
    values.charsPerPixel = fields[3].toLongLong(&ok[3]);
    if (!ok[0] || !ok[1] || !ok[2] || !ok[3] || values.width <= 0 || values.height <= 0 ||
        values.colors <= 0 || values.charsPerPixel <= 0 || values.charsPerPixel > 16)
        return std::nullopt;
    return values;
}

} // namespace

QString XpmCheck::problem(const QByteArray& data)
{
    bool complete = false;
    std::vector<QByteArray> strings = xpmStrings(data, &complete, 1);
    if (strings.empty())
        return complete ? FormatCheck::damaged(QStringLiteral("it holds no picture"))
                        : FormatCheck::truncated();
    const std::optional<XpmValues> values = xpmValues(strings[0]);
    if (!values)
        return FormatCheck::damaged(QStringLiteral("its size is not given as an XPM file "
                                                   "gives it"));
    strings = xpmStrings(data, &complete, 1 + values->colors + values->height);
    const qint64 needed = 1 + values->colors + values->height;
    if (qint64(strings.size()) < needed || !complete)
        return complete ? FormatCheck::damaged(QStringLiteral("it holds fewer rows or colours "
                                                              "than its header says"))
                        : FormatCheck::truncated();
    for (qint64 i = 1; i < needed; ++i) {
        const qint64 length =
            i <= values->colors ? values->charsPerPixel + 2 : values->width * values->charsPerPixel;
        if (strings[static_cast<std::size_t>(i)].size() < length)
            return FormatCheck::damaged(QStringLiteral("its row or colour %1 is too short").arg(i));
    }
    return {};
}

FormatCheck::Claim XpmCheck::claim(const QByteArray& head)
{
    FormatCheck::Claim claim;
    bool complete = false;
    const std::vector<QByteArray> strings = xpmStrings(head, &complete, 1);
    const std::optional<XpmValues> values = strings.empty() ? std::nullopt : xpmValues(strings[0]);
    if (!values) {
        claim.problem = strings.empty() && !complete
                            ? FormatCheck::truncated()
                            : FormatCheck::damaged(QStringLiteral("its size is not given as an "
                                                                  "XPM file gives it"));
        return claim;
    }
    claim.width = values->width;
    claim.height = values->height;
    if (FormatCheck::beyondReach(claim))
        return claim;
    const qint64 pixels = claim.width * claim.height;
    if (values->colors > std::max<qint64>(pixels, 256)) {
        claim.problem =
            FormatCheck::damaged(QStringLiteral("its header gives more colours than pixels"));
        return claim;
    }
    claim.memoryBytes = pixels * 4 + values->colors * 256;
    claim.fileBytes = pixels * values->charsPerPixel + claim.height * 16 +
                      values->colors * (values->charsPerPixel + 64) + FormatCheck::Slack;
    return claim;
}

} // namespace kelviq
