#include "project/project_blocks.h"

#include <QFile>

static void initBlockResources() { Q_INIT_RESOURCE(blocks); }

namespace bleeptone {

QByteArray builtInBlock(BuiltInProject which) {
    static const bool registered = (initBlockResources(), true);
    (void)registered;
    static const char* const names[] = {":/blocks/demo1.bin", ":/blocks/demo2.bin", ":/blocks/demo3.bin",
                                        ":/blocks/demo4.bin", ":/blocks/new.bin"};
    QFile file(names[static_cast<int>(which)]);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool loadBlock(const QByteArray& block, ProjectFields& fields) {
    qsizetype pos = 0;
    const qsizetype size = block.size();
    auto byteAt = [&](qsizetype i) { return static_cast<unsigned char>(block[i]); };
    for (const ProjectField& f : projectFields()) {
        if (pos >= size) return false;
        const int number = byteAt(pos++);
        if (f.kind == FieldKind::State) {
            if (pos >= size) return false;
            fields.setState(number, byteAt(pos++));
            continue;
        }
        QString text;
        for (;;) {
            if (pos + 1 >= size) return false;
            const char16_t unit = static_cast<char16_t>(byteAt(pos) | (byteAt(pos + 1) << 8));
            pos += 2;
            if (unit == 0) break;
            text.append(QChar(unit));
        }
        // Pattern name and pattern fields keep ";"; elsewhere it separates lines.
        const bool pattern = f.number >= control::patternNameField(1) && f.number <= control::patternField(4);
        if (!pattern) text.replace(';', '\n');
        fields.setText(number, text);
    }
    return true;
}

}  // namespace bleeptone
