#pragma once

#include <QString>

namespace orvane {

// Release notes from an update feed as plain text for the update dialog. Feeds
// often carry their notes as HTML; the dialog must never render markup that
// came over the network (links, images that load from elsewhere, look-alike
// buttons), so the notes are reduced to their words: paragraphs and line
// breaks become new lines, list items start with "• ", scripts, styles and
// comments go entirely, every other tag is dropped and character references
// are decoded. Notes without markup keep their lines as they are. Any thread.
QString releaseNotesAsText(const QString& notes);

} // namespace orvane
