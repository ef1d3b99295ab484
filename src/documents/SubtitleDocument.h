#pragma once

#include "core/TextFiles.h"
#include "documents/SurtitleFile.h"

#include <QList>
#include <QString>
#include <QStringList>

// The kind of a script, decided by the extension of its path without regard to
// case. None stands for "no document open". Surtitle is a subtitle file
// (SRT or ASS): timed cues, played like a lyric.
enum class DocumentKind { None, Lyric, PlainText, Project, Surtitle };

// ".lrc" is a lyric, ".txt" plain text, ".srt", ".ass" and ".ssa" subtitle
// files, anything else a project; an empty path is None.
DocumentKind KindOfPath(const QString& path);

// The current script: its lines in file order, the content that is saved back.
struct SubtitleDocument {
    QString path;
    DocumentKind kind = DocumentKind::None;
    QStringList lines;
    bool modified = false;
    // The form the file had on disk; saving writes it back the same way, so a
    // UTF-8 script stays UTF-8 and a GBK one stays byte for byte GBK.
    TextEncoding encoding = TextEncoding::Gbk;
    // Subtitle files only: the cues and what surrounds them. `lines` is then
    // the file as it will be saved, kept in step with every edit.
    SurtitleScript surtitle;

    bool isOpen() const { return !path.isEmpty(); }
};

// One row of the line list. Source is the 0-based index of the document line
// for plain text and projects, the time tag (or empty) for lyrics, and the
// time of the row for subtitle files.
struct LineItem {
    QString Number;
    QString Text;
    QString Source;

    bool operator==(const LineItem&) const = default;
};
using LineList = QList<LineItem>;
