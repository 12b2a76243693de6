#include "song/tune_checks.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <tuple>

#include "engine/mml.h"
#include "song/tune_checks_detail.h"

namespace bleeptone {

// tuneRuleInfo finds a rule by its place in the table.
static_assert([] {
    for (std::size_t i = 0; i < kTuneRules.size(); ++i)
        if (kTuneRules[i].rule != static_cast<TuneRule>(i)) return false;
    return true;
}());

namespace checks {

namespace {

bool mul(std::int64_t a, std::int64_t b, std::int64_t& out) { return !__builtin_mul_overflow(a, b, &out); }

}  // namespace

Whole Whole::of(std::int64_t num, std::int64_t den) {
    if (den == 0 || den == INT64_MIN || num == INT64_MIN) return invalid();
    if (den < 0) num = -num, den = -den;
    const std::int64_t g = std::gcd(num, den);
    Whole w;
    w.num_ = num / g;
    w.den_ = den / g;
    return w;
}

Whole Whole::ofNote(std::int64_t length, bool dotted) {
    if (length <= 0) return invalid();
    std::int64_t den = length;
    if (dotted && !mul(length, 2, den)) return invalid();
    return of(dotted ? 3 : 1, den);
}

Whole Whole::operator+(const Whole& o) const {
    if (!valid_ || !o.valid_) return invalid();
    const std::int64_t g = std::gcd(den_, o.den_);
    std::int64_t a = 0, b = 0, sum = 0, den = 0;
    if (!mul(num_, o.den_ / g, a) || !mul(o.num_, den_ / g, b) || __builtin_add_overflow(a, b, &sum) ||
        !mul(den_ / g, o.den_, den))
        return invalid();
    return of(sum, den);
}

Whole Whole::operator-(const Whole& o) const {
    if (!o.valid_) return invalid();
    return *this + of(-o.num_, o.den_);
}

Whole Whole::operator*(const Whole& o) const {
    if (!valid_ || !o.valid_) return invalid();
    // Cross-reduced first; the denominators are positive, so neither gcd is 0.
    const std::int64_t g1 = std::gcd(num_, o.den_), g2 = std::gcd(o.num_, den_);
    std::int64_t num = 0, den = 0;
    if (!mul(num_ / g1, o.num_ / g2, num) || !mul(den_ / g2, o.den_ / g1, den)) return invalid();
    return of(num, den);
}

std::int64_t Whole::measures(const Whole& m) const {
    // floor((num / den) / (m.num / m.den))
    std::int64_t a = 0, b = 0;
    if (!valid_ || !m.valid_ || m.num_ <= 0 || !mul(num_, m.den_, a) || !mul(den_, m.num_, b)) return 0;
    std::int64_t q = a / b;
    if (a % b != 0 && a < 0) --q;
    return q;
}

Whole Whole::rest(const Whole& m) const {
    if (!valid_ || !m.valid_ || m.num_ <= 0) return invalid();
    std::int64_t k = 0;
    if (!mul(m.num_, measures(m), k)) return invalid();
    return *this - of(k, m.den_);
}

bool Whole::operator<(const Whole& o) const {
    std::int64_t a = 0, b = 0;
    if (mul(num_, o.den_, a) && mul(o.num_, den_, b)) return a < b;
    return toDouble() < o.toDouble();
}

QString amountText(const Whole& w, const Whole& measure) {
    const std::int64_t n = w.measures(measure);
    const Whole rest = w.rest(measure);
    const QString fraction = QString("%1/%2").arg(rest.num()).arg(rest.den());
    if (n == 0) return rest.isZero() ? QStringLiteral("0 measures") : fraction;
    const QString measures = n == 1 ? QStringLiteral("1 measure") : QString("%1 measures").arg(n);
    return rest.isZero() ? measures : measures + " and " + fraction;
}

QString noteName(std::int64_t length, bool dotted) {
    static const char* const names[] = {"whole note", "half note",     "quarter note", "eighth",
                                        "sixteenth",  "thirty-second", "sixty-fourth"};
    QString name = QString("1/%1 note").arg(length);
    for (int i = 0; i < 7; ++i)
        if (length == (1 << i)) name = names[i];
    if (dotted) return "a dotted " + name;
    return (name.startsWith('e') ? "an " : "a ") + name;
}

QString timeText(std::uint64_t frames) {
    const double seconds = static_cast<double>(frames) / kSampleRate;
    if (seconds < 0.1) return QString("%1 ms").arg(std::lround(seconds * 1000.0));
    if (seconds < 60.0) return QString("%1 s").arg(seconds, 0, 'f', 1);
    const auto tenths = static_cast<std::int64_t>(std::llround(seconds * 10.0));
    return QString("%1:%2.%3").arg(tenths / 600).arg((tenths / 10) % 60, 2, 10, QChar('0')).arg(tenths % 10);
}

QString ticksText(std::uint64_t ticks) {
    return ticks == 1 ? QStringLiteral("1 tick") : QString("%1 ticks").arg(ticks);
}

Whole ChannelTimes::positionAt(std::uint64_t frame) const {
    const std::vector<MappedNote>& notes = mapped->notes;
    const auto after = std::upper_bound(notes.begin(), notes.end(), frame,
                                        [](std::uint64_t f, const MappedNote& n) { return f < n.start; });
    if (after == notes.begin()) return Whole::invalid();
    const std::size_t i = static_cast<std::size_t>(after - notes.begin()) - 1;
    const MappedNote& n = notes[i];
    if (frame >= n.end()) return frame == n.end() ? starts[i + 1] : Whole::invalid();
    const Whole part = Whole::of(static_cast<std::int64_t>(frame - n.start), static_cast<std::int64_t>(n.frames()));
    return starts[i] + (starts[i + 1] - starts[i]) * part;
}

int ChannelTimes::segmentAt(std::int32_t position) const {
    const std::vector<TextSegment>& segments = assembly->segments;
    const auto after = std::upper_bound(segments.begin(), segments.end(), position,
                                        [](std::int32_t p, const TextSegment& s) { return p < s.offset; });
    if (after == segments.begin()) return -1;
    const auto s = after - 1;
    return position < s->offset + s->length ? static_cast<int>(s - segments.begin()) : -1;
}

CheckRun::CheckRun(const std::array<ChannelAssembly, 4>& song, const NoteMap& map, int quartersPerMeasure)
    : song_(song), map_(map), quarters_(quartersPerMeasure), measure_(Whole::of(quartersPerMeasure, 4)) {
    for (int k = 0; k < kVoices; ++k) {
        ChannelTimes& ch = channels_[static_cast<std::size_t>(k)];
        ch.voice = k;
        ch.mapped = &map.channels[static_cast<std::size_t>(k)];
        ch.channel = ch.mapped->channel != 0 ? ch.mapped->channel : k + 1;
        ch.assembly = &song[static_cast<std::size_t>(k)];
        Whole at;
        ch.starts.reserve(ch.mapped->notes.size() + 1);
        for (const MappedNote& n : ch.mapped->notes) {
            ch.starts.push_back(at);
            at = at + Whole::ofNote(n.length, n.dotted);
        }
        ch.starts.push_back(at);
        ch.timed = at.valid();

        // The notes of each verse played: in order, pass by pass, verse by verse.
        std::vector<VersePlay>& plays = plays_[static_cast<std::size_t>(k)];
        const std::vector<MappedNote>& notes = ch.mapped->notes;
        const auto keyOf = [&](std::size_t i) { return std::pair(notes[i].pass, ch.segmentAt(notes[i].position)); };
        std::size_t next = 0;
        for (const VerseStart& v : ch.mapped->verses) {
            const std::pair key(v.pass, v.segment);
            while (next < notes.size() && keyOf(next) < key) ++next;
            VersePlay play{&v, next, next};
            while (next < notes.size() && keyOf(next) == key) ++next;
            play.endNote = next;
            plays.push_back(play);
        }
        // The last verse of a channel the map stops in the middle of may go on.
        if (!plays.empty() && map.stop == NoteMapStop::Limit && !ch.mapped->endFrame) plays.back().complete = false;
    }
}

int CheckRun::runLength(int voice, std::int32_t position) const {
    const QString& t = text(voice);
    if (position < 0 || position >= t.size()) return 0;
    const int segment = channels_[static_cast<std::size_t>(voice)].segmentAt(position);
    const TextSegment* s =
        segment >= 0 ? &song_[static_cast<std::size_t>(voice)].segments[static_cast<std::size_t>(segment)] : nullptr;
    const int end = s ? s->offset + s->length : static_cast<int>(t.size());
    int i = position + 1;
    while (i < end && (mmlClass(t[i].unicode()) & 0x80) == 0) ++i;
    while (i > position + 1 && mmlClass(t[i - 1].unicode()) == mmlClasses::Blank) --i;
    return i - position;
}

QString CheckRun::quoted(int voice, std::int32_t position) const {
    constexpr int kLongest = 24;
    const int length = runLength(voice, position);
    QString run = text(voice).mid(position, std::min(length, kLongest));
    // A text given to the engine directly may hold control characters: shown as escapes.
    run.replace('\n', "\\n").replace('\t', "\\t").replace('\r', "\\r");
    return "\"" + run + (length > kLongest ? "...\"" : "\"");
}

void CheckRun::add(TuneRule rule, const EditorPlace& place, int length, std::optional<std::uint64_t> frame,
                   const QString& message) {
    findings_.push_back({rule, place, length, frame, message});
}

void CheckRun::addAt(TuneRule rule, int voice, const std::optional<EditorPlace>& place, std::int32_t position,
                     std::uint64_t frame, const QString& message) {
    if (!place) return;  // the channel's settings: no place in an editor
    add(rule, *place, runLength(voice, position), frame, message);
}

std::size_t CheckRun::count(TuneRule rule) const {
    return static_cast<std::size_t>(
        std::count_if(findings_.begin(), findings_.end(), [rule](const TuneFinding& f) { return f.rule == rule; }));
}

TuneFindings CheckRun::take() {
    // A verse played again gives the same finding again: keep the first time it plays.
    const auto key = [](const TuneFinding& f) {
        return std::tuple(f.place.channel, f.place.verse, f.place.column, f.rule);
    };
    std::stable_sort(findings_.begin(), findings_.end(), [&](const TuneFinding& a, const TuneFinding& b) {
        if (key(a) != key(b)) return key(a) < key(b);
        return a.frame.value_or(0) < b.frame.value_or(0);
    });
    findings_.erase(std::unique(findings_.begin(), findings_.end(),
                                [&](const TuneFinding& a, const TuneFinding& b) { return key(a) == key(b); }),
                    findings_.end());
    return std::move(findings_);
}

}  // namespace checks

int measureQuarters(const ProjectFields& fields) {
    const int index = fields.state(control::MeasureBox);  // "2/4", "3/4", "4/4"
    return index >= 0 && index <= 2 ? index + 2 : 4;
}

namespace {

TuneFindings runChecks(const std::array<ChannelAssembly, 4>& song, const NoteMap& map, int quarters,
                       const ProjectFields* fields) {
    checks::CheckRun run(song, map, quarters);
    checks::checkTiming(run);
    checks::checkValues(run);
    checks::checkCutNumbers(run);
    if (fields) checks::checkPatterns(*fields, run);
    return run.take();
}

}  // namespace

TuneFindings checkTune(const ProjectFields& fields) {
    const std::array<ChannelAssembly, 4> song = assembleSongWithMap(fields);
    return checkTune(fields, song, mapSong(song));
}

TuneFindings checkTune(const ProjectFields& fields, const std::array<ChannelAssembly, 4>& song, const NoteMap& map) {
    return runChecks(song, map, measureQuarters(fields), &fields);
}

TuneFindings checkTexts(const SongTexts& texts, int quartersPerMeasure) {
    // As mapTexts makes them: each text one verse of its channel.
    std::array<ChannelAssembly, 4> song;
    for (std::size_t k = 0; k < song.size(); ++k) {
        song[k].text =
            QString(reinterpret_cast<const QChar*>(texts[k].data()), static_cast<qsizetype>(texts[k].size()));
        song[k].segments = {{0, static_cast<int>(texts[k].size()), 1}};
    }
    return runChecks(song, mapSong(song), quartersPerMeasure, nullptr);
}

const TuneFinding* findingAt(const TuneFindings& findings, const EditorPlace& place) {
    for (const TuneFinding& f : findings) {
        if (f.place.channel != place.channel || f.place.verse != place.verse) continue;
        if (f.length == 0 ? place.column == f.place.column
                          : place.column >= f.place.column && place.column < f.place.column + f.length)
            return &f;
    }
    return nullptr;
}

}  // namespace bleeptone
