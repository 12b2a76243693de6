#pragma once
// What Copy MML gives for Demo 1 whose project info is "Demo 1" and "2015",
// line for line, worked out by hand from the demo's fields.
#include <QStringList>

namespace bleeptone::testing {

inline const QStringList kDemo1Text = {
    R"(;[ Demo 1 | 2015 ];)",
    R"()",
    R"(CH1Verse_1.s = "t11 w1 o1 \8 v48 L8 G4B-B-G4B-B-  G4>E-E-<G4>E-E-<  A>CF4<A>CF4<  F4AAGB->D4<")",
    R"()",
    R"(CH2Verse_1.s = "t11 w4 o3 \2 v42 L8 GB->D4<GB->D4<  GB->E-<B-GB->E-<B-  A>CF4<A>CF4<  FA>C<AGB->D4<")",
    R"()",
    R"(CH3Verse_1.s = "t11 w4 o5 \1 v44 L4 GG2G8F8 E-E-2E-8D8 CCCD E-2D2")",
    R"(CH3Verse_2.s = "B-B-2B-8A8 GG2G8F8 CCCD E-2D2")",
    R"(CH3Verse_3.s = "B-B-2B-8A8 GG2G8F8 ACFA G2D2")",
    R"()",
    R"(Channel_1.s = CH1Verse_1 + CH1Verse_1 + CH1Verse_1 + CH1Verse_1)",
    R"(Channel_2.s = CH2Verse_1 + CH2Verse_1 + CH2Verse_1 + CH2Verse_1)",
    R"(Channel_3.s = CH3Verse_1 + CH3Verse_2 + CH3Verse_1 + CH3Verse_3)",
};

}  // namespace bleeptone::testing
