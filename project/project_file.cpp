#include "project/project_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <optional>
#include <vector>

#include "project/number_rule.h"

namespace bleeptone {

namespace {

// Keys in the order they are written: tempo, measure, the six stored fields
// of each channel, the pattern fields, the project info.
std::vector<int> storedKeys() {
    std::vector<int> keys = {control::TempoBox, control::MeasureBox};
    for (int c = 1; c <= 4; ++c)
        for (int n : {control::waveformBox(c), control::octaveBox(c), control::volumeBox(c), control::decayBox(c),
                      control::verseNameField(c), control::channelEditor(c)})
            keys.push_back(n);
    for (int i = 1; i <= 4; ++i) {
        keys.push_back(control::patternNameField(i));
        keys.push_back(control::patternField(i));
    }
    keys.push_back(control::ProjectInfo);
    return keys;
}

// A value on its key line. A line break inside a one-line field (a file's
// ";" reads back as one) is written as ";" again: written as it is, it
// would end the key line and shift every key after it.
QString storedValue(const ProjectFields& fields, int number) {
    const ProjectField* f = projectField(number);
    if (f->list) return QString::number(fields.state(number));
    const QString text = fields.text(number);  // spin boxes as their text
    // One pass: every line break ("\r\n", "\r" or "\n") becomes ";".
    QString value(text.size(), Qt::Uninitialized);
    QChar* out = value.data();
    const QChar* in = text.constData();
    const QChar* const end = in + text.size();
    for (; in != end; ++in) {
        if (*in == '\r') {
            if (in + 1 != end && in[1] == '\n') ++in;
            *out++ = ';';
        } else {
            *out++ = *in == '\n' ? QChar(';') : *in;
        }
    }
    // An editor's trailing empty lines are not kept.
    if (f->kind == FieldKind::Lines)
        while (out != value.constData() && out[-1] == ';') --out;
    value.truncate(out - value.constData());
    return value;
}
struct Entry {
    enum Type { Group, Key, Comment } type;
    QString name;
    QString value;
};

bool isBlank(QChar c) { return c == ' ' || c == '\t'; }

QString trimBlanks(const QString& s) {
    qsizetype from = 0, to = s.size();
    while (from < to && isBlank(s[from])) ++from;
    while (to > from && isBlank(s[to - 1])) --to;
    return s.mid(from, to - from);
}

std::vector<Entry> parseEntries(const QString& text) {
    std::vector<Entry> entries;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        qsizetype end = i;
        while (end < n && text[end] != '\n' && text[end] != '\r') ++end;
        qsizetype start = i;
        while (start < end && isBlank(text[start])) ++start;
        const QString line = text.mid(start, end - start);
        i = end + 1;
        if (line.isEmpty()) continue;
        if (line[0] == ';') {
            entries.push_back({Entry::Comment, {}, {}});
        } else if (line[0] == '[') {
            const qsizetype close = line.indexOf(']');
            entries.push_back({Entry::Group, line.mid(1, close < 0 ? -1 : close - 1), {}});
        } else {
            const qsizetype eq = line.indexOf('=');
            QString name = eq < 0 ? line : line.left(eq);
            while (!name.isEmpty() && isBlank(name.back())) name.chop(1);
            QString value = eq < 0 ? QString() : line.mid(eq + 1);
            qsizetype skip = 0;
            while (skip < value.size() && isBlank(value[skip])) ++skip;
            entries.push_back({Entry::Key, name, value.mid(skip)});
        }
    }
    return entries;
}

// The keys of the first group with this name (letter case ignored), in file order.
std::optional<std::vector<const Entry*>> groupKeys(const std::vector<Entry>& entries, const QString& group) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].type != Entry::Group || entries[i].name.compare(group, Qt::CaseInsensitive) != 0) continue;
        std::vector<const Entry*> keys;
        for (std::size_t k = i + 1; k < entries.size() && entries[k].type != Entry::Group; ++k)
            if (entries[k].type == Entry::Key) keys.push_back(&entries[k]);
        return keys;
    }
    return std::nullopt;
}

QString fileText(const QString& text) {
    QString t = trimBlanks(text);
    t.replace(';', '\n');
    return t;
}

ProjectIoResult failure(const QString& name, const QString& reason) {
    return {false, QString("The project \"%1\" could not be opened: %2").arg(name, reason)};
}

}  // namespace

QByteArray projectFileBytes(const ProjectFields& fields) {
    QByteArray bytes = "\xEF\xBB\xBF\n[Version]\nVersionNumber = 1.0.0\n[Settings]\n";
    for (int key : storedKeys()) bytes += QByteArray::number(key) + " = " + storedValue(fields, key).toUtf8() + '\n';
    return bytes;
}

ProjectIoResult saveProjectFile(const QString& path, const ProjectFields& fields) {
    return saveProjectBytes(path, projectFileBytes(fields));
}

ProjectIoResult saveProjectBytes(const QString& path, const QByteArray& bytes) {
    auto failure = [&path](const QFileDevice& file) {
        return ProjectIoResult{false, QString("The project could not be saved as \"%1\": %2").arg(path, file.errorString())};
    };
    // A regular file (also through a symlink, which QSaveFile follows) is
    // replaced only once the new one is complete. Anything else that exists
    // there (a FIFO, a device such as /dev/null) is written into, never
    // replaced by a regular file.
    const QFileInfo target(path);
    if (target.exists() && !target.isFile()) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || file.write(bytes) != bytes.size())
            return failure(file);
        return {true, {}};
    }
    QSaveFile file(path);
    // Unbuffered, so that a short write (a full disk) shows in write()'s
    // count instead of being lost in a buffer that commit() then reports as written.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || file.write(bytes) != bytes.size() || !file.commit())
        return failure(file);
    return {true, {}};
}
bool hasProjectExtension(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf('.');
    return dot >= 0 && name.mid(dot + 1) == "mmlp";
}

ProjectIoResult loadProjectFile(const QString& path, ProjectFields& fields) {
    const QString name = QFileInfo(path).fileName();
    if (!hasProjectExtension(path)) return failure(name, "only .mmlp files are Bleeptone projects.");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return failure(name, file.errorString() + '.');
    if (file.size() > kMaxProjectFileBytes) return failure(name, "the file is larger than 16 MB.");
    const QByteArray bytes = file.read(kMaxProjectFileBytes + 1);
    if (bytes.size() > kMaxProjectFileBytes) return failure(name, "the file is larger than 16 MB.");
    if (file.error() != QFileDevice::NoError) return failure(name, file.errorString() + '.');
    return loadProjectBytes(bytes, name, fields);
}

ProjectIoResult loadProjectBytes(const QByteArray& bytes, const QString& name, ProjectFields& fields) {
    const QString text = bytes.size() > 2 && bytes.startsWith("\xEF\xBB\xBF") ? QString::fromUtf8(bytes.mid(3))
                                                                              : QString::fromLatin1(bytes);
    const std::vector<Entry> entries = parseEntries(text);

    const auto version = groupKeys(entries, "Version");
    const Entry* versionKey = nullptr;
    if (version)
        for (const Entry* e : *version)
            if (!versionKey && e->name.compare("VersionNumber", Qt::CaseInsensitive) == 0) versionKey = e;
    if (!versionKey) return failure(name, "it has no version entry.");
    if (trimBlanks(versionKey->value) != "1.0.0")
        return failure(
            name,
            QString("it is of version %1; this Bleeptone reads version 1.0.0.").arg(trimBlanks(versionKey->value)));
    const auto settings = groupKeys(entries, "Settings");
    if (!settings) return failure(name, "it has no [Settings] group.");

    // Keys are applied by position: tempo and measure, then blocks of six
    // per channel until the last channel editor's key, then texts. Only project fields are
    // touched; mute boxes are not stored in files.
    const std::vector<const Entry*>& keys = *settings;
    auto apply = [&fields](const Entry* e, bool asText) {
        const int number = decimalNumber(e->name);
        if (!projectField(number) || control::isMuteBox(number)) return;
        if (asText)
            fields.setText(number, fileText(e->value));
        else
            fields.setState(number, decimalNumber(e->value));
    };
    const QString lastEditorKey = QString::number(control::channelEditor(4));
    std::size_t i = 0;
    for (; i < keys.size() && i < 2; ++i) apply(keys[i], false);
    bool channelsEnded = false;
    while (i < keys.size() && !channelsEnded) {
        apply(keys[i++], false);  // waveform
        for (int k = 0; k < 5 && i < keys.size() && !channelsEnded; ++k, ++i) {
            apply(keys[i], k >= 3);
            channelsEnded = keys[i]->name == lastEditorKey;
        }
    }
    for (; i < keys.size(); ++i) apply(keys[i], true);
    return {true, {}};
}

}  // namespace bleeptone
