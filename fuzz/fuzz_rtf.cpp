// The RTF reader on arbitrary bytes: no crash, no hang, and the document it
// builds stays within a bound of the input's size.
#include <QGuiApplication>
#include <QTextDocument>

#include <cstdio>
#include <cstdlib>

#include "ui/rtf_reader.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 65536) return 0;
    QByteArray bytes("{\\rtf1 ");
    bytes.append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QTextDocument document;
    bleeptone::readRtf(bytes, document);
    if (document.characterCount() > bytes.size() + 2) {
        std::fprintf(stderr, "fuzz_rtf: more characters than bytes\n");
        std::abort();
    }
    return 0;
}
