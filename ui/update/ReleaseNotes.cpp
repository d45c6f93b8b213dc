#include "ReleaseNotes.h"

#include <QHash>
#include <QRegularExpression>
#include <QStringList>
#include <QTextDocument> // Qt::mightBeRichText

namespace orvane {

namespace {

using Re = QRegularExpression;
constexpr auto kNoCase = Re::CaseInsensitiveOption;
constexpr auto kAll = Re::CaseInsensitiveOption | Re::DotMatchesEverythingOption;

// "&amp;", "&#233;", "&#xE9;" and the few names notes use; unknown names stay.
QString decodeReferences(const QString& text) {
    static const Re reference(
        QStringLiteral("&(#[0-9]{1,7}|#[xX][0-9a-fA-F]{1,6}|[a-zA-Z]{2,8});"));
    QString out;
    out.reserve(text.size());
    qsizetype last = 0;
    auto it = reference.globalMatch(text);
    while (it.hasNext()) {
        const auto m = it.next();
        out += QStringView(text).mid(last, m.capturedStart() - last);
        last = m.capturedEnd();
        const QString name = m.captured(1);
        char32_t code = 0;
        if (name.startsWith(QLatin1String("#x"), Qt::CaseInsensitive)) {
            code = name.mid(2).toUInt(nullptr, 16);
        } else if (name.startsWith(QLatin1Char('#'))) {
            code = name.mid(1).toUInt();
        } else {
            static const QHash<QString, char32_t> named{
                {QStringLiteral("amp"), U'&'},    {QStringLiteral("lt"), U'<'},
                {QStringLiteral("gt"), U'>'},     {QStringLiteral("quot"), U'"'},
                {QStringLiteral("apos"), U'\''},  {QStringLiteral("nbsp"), U' '},
                {QStringLiteral("mdash"), U'—'},  {QStringLiteral("ndash"), U'–'},
                {QStringLiteral("hellip"), U'…'}, {QStringLiteral("rsquo"), U'’'},
                {QStringLiteral("lsquo"), U'‘'},  {QStringLiteral("rdquo"), U'”'},
                {QStringLiteral("ldquo"), U'“'},  {QStringLiteral("bull"), U'•'},
            };
            code = named.value(name.toLower(), 0);
        }
        // Control characters and code points that are not characters stay as written.
        if (code >= 0x20 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF) &&
            (code < 0x7F || code > 0x9F)) {
            out += QString::fromUcs4(&code, 1);
        } else {
            out += m.captured(0);
        }
    }
    out += QStringView(text).mid(last);
    return out;
}

QString fromMarkup(QString s) {
    // Whitespace in markup is a space; the structure gives the line breaks.
    s.replace(Re(QStringLiteral("\\s+")), QStringLiteral(" "));
    s.remove(Re(QStringLiteral("<!--.*?-->"), Re::DotMatchesEverythingOption));
    s.remove(Re(QStringLiteral("<(script|style|head|title)\\b[^>]*>.*?</\\1\\s*>"), kAll));
    s.replace(Re(QStringLiteral("<br\\b[^>]*>"), kNoCase), QStringLiteral("\n"));
    s.replace(Re(QStringLiteral("<li\\b[^>]*>"), kNoCase), QStringLiteral("\n• "));
    s.replace(
        Re(QStringLiteral("</?(p|div|h[1-6]|ul|ol|li|tr|table|blockquote|pre|section)\\b[^>]*>"),
           kNoCase),
        QStringLiteral("\n"));
    s.remove(Re(QStringLiteral("<[^>]*>")));
    s.remove(Re(QStringLiteral("<[^>]*$"))); // a tag cut off at the end
    return decodeReferences(s);
}

} // namespace

QString releaseNotesAsText(const QString& notes) {
    static const Re tag(QStringLiteral("<[a-zA-Z/!][^>]*>"));
    const bool markup = Qt::mightBeRichText(notes) || tag.match(notes).hasMatch();
    const QString text = markup ? fromMarkup(notes) : notes;
    // Tidy the lines: no spaces at their ends; from markup, one block a line
    // (blocks nest, and their edges would leave empty lines all over); in
    // plain notes, at most one empty line in a row.
    QStringList lines;
    bool lastEmpty = true;
    for (const QString& raw : text.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.isEmpty() && (lastEmpty || markup)) {
            continue;
        }
        lines.push_back(line);
        lastEmpty = line.isEmpty();
    }
    while (!lines.isEmpty() && lines.back().isEmpty()) {
        lines.pop_back();
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace orvane
