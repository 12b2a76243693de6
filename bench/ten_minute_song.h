#pragma once
// The ten-minute four-channel song of the note map's and the song view's
// benchmarks: four verses per channel whose patterns play them 75 times
// over (300 measures of 4/4 at 120 beats per minute, 600 s), sixteenths,
// eighths, an envelope and a decay.
#include <QString>

#include "project/project_blocks.h"
#include "project/project_model.h"

namespace bleeptone::bench {

// Four verses of four measures each, one line each.
inline const char* const kVerses[4] = {
    "l16 cdefgab>c<bagfedc8 cdefgab>c<bagfedc8 efgab>cdedc<bagfe8 cdefgab>c<bagfedc8\n"
    "l16 efgab>cdedc<bagfe8 efgab>cdedc<bagfe8 cdefgab>c<bagfedc8 efgab>cdedc<bagfe8\n"
    "l16 c8d8e8f8g8a8b8>c8< c8d8e8f8g8a8b8>c8< c8d8e8f8g8a8b8>c8< c8d8e8f8g8a8b8>c8<\n"
    "l16 cdefgab>c<bagfedc8 cdefgab>c<bagfedc8 efgab>cdedc<bagfe8 c1",
    "l8 \\1,9,2,5 ceg>c<gec4 ceg>c<gec4 dfa>d<afd4 ceg>c<gec4\n"
    "l8 egb>e<bge4 egb>e<bge4 fa>cfc<af4 egb>e<bge4\n"
    "l8 \\4 cccccccc gggggggg cccccccc gggggggg\n"
    "l8 \\1,9,2,5 ceg>c<gec4 ceg>c<gec4 dfa>d<afd4 c1",
    "l4 cgcg cgcg cgcg cgcg\n"
    "l4 ebeb ebeb ebeb ebeb\n"
    "l2 cg cg cg cg\n"
    "l1 c g c c",
    "l8 rcrcrcrc rcrcrcrc rcrcrcrc rcrcrcrc\n"
    "l8 crcrcrcr crcrcrcr crcrcrcr crcrcrcr\n"
    "l16 crcrcrcrcrcrcrcr crcrcrcrcrcrcrcr crcrcrcrcrcrcrcr crcrcrcrcrcrcrcr\n"
    "l4 cccc cccc cccc cccc",
};

inline ProjectModel tenMinuteSong() {
    ProjectModel m;
    loadBuiltIn(BuiltInProject::NewTemplate, m);
    m.setText(control::TempoBox, "12");  // the tempo code of 120 beats per minute
    QString pattern;
    for (int i = 0; i < 75; ++i) pattern += QString(i == 0 ? "" : "+") + QString::number(i % 4 + 1);
    for (int c = 1; c <= 4; ++c) {
        m.setText(control::channelEditor(c), kVerses[c - 1]);
        m.setText(control::patternField(c), pattern);
    }
    return m;
}

}  // namespace bleeptone::bench
