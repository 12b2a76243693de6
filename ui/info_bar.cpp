#include "ui/info_bar.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace bleeptone {

QString twoDigits(int n) {
    const QString s = QString::number(n);
    return s.size() == 1 ? "0" + s : s;
}

QString transposeText(int t) {
    if (t >= 0 && t <= 9) return "+0" + QString::number(t);
    if (t >= 10) return "+" + QString::number(t);
    if (t >= -9) return "-0" + QString::number(-t);
    return QString::number(t);
}

QFont infoBarFont() {
    QFont font = QFontDatabase::families().contains("Menlo") ? QFont("Menlo")
                                                              : QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(15);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    return font;
}

QImage newInfoBarImage(int width, qreal devicePixelRatio) {
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    QImage image(static_cast<int>(std::ceil(std::max(width, 1) * ratio)),
                 static_cast<int>(std::ceil(kInfoBarHeight * ratio)), QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(kInfoLightBlue);
    return image;
}

void drawInfoBar(QImage& image, const InfoBarContent& c, const QImage& strip, const QFont& font) {
    const int W = static_cast<int>(image.deviceIndependentSize().width());
    QPainter p(&image);
    p.setFont(font);
    const QFontMetrics fm(font);
    // The layout places each text by the top of a 15-pixel line 4 pixels
    // above the bar (y = -4); fonts differ in how much room they leave above
    // the capitals, so the baseline is set where that line's capitals sit
    // centred in the bar, whatever the font.
    const int baseline = (kInfoBarHeight + fm.capHeight()) / 2;
    auto drawTextAt = [&](int x, int y, const QString& text) {
        p.setPen(Qt::white);
        p.drawText(QPoint(x, baseline + (y + 4)), text);
    };

    p.fillRect(QRect(0, 0, c.editorWidth, kInfoBarHeight), kInfoLightBlue);
    const MML_Info& i = c.info;
    const int u = c.measureUnits > 0 ? c.measureUnits : 32;
    const int m = i.EvtCnt / u;
    const int pos = i.EvtCnt - m * u;
    const QString verse = "Verse " + twoDigits(c.verse);
    const QString measure = " " + twoDigits(m);
    const int wV = fm.horizontalAdvance(verse + "  ");
    const int wM = fm.horizontalAdvance(measure + " ");
    if (c.problem.isEmpty()) {
        const QString a = " T" + twoDigits(i.Tempo) + "  O" + QString::number(i.Octave) + "  K" +
                          transposeText(i.Transpose) + "  L" + twoDigits(i.NoteLen) + "  V" + twoDigits(i.Volume) +
                          "  W" + QString::number(i.Waveform);
        drawTextAt(0, -4, a);

        // The icon of the waveform; noise exists only on channel 1.
        int row = i.Waveform;
        if (c.channel > 1 && row == 5) row = 6;
        const qint64 stripY = -20LL * row - 1;
        if (stripY > -10000 && stripY < kInfoBarHeight)
            p.drawImage(QPoint(fm.horizontalAdvance(a + " "), static_cast<int>(stripY)), strip);
    } else {
        // A warning sign, then as much of the message as fits before the verse.
        p.fillRect(QRect(4, 3, 14, 14), kInfoWarning);
        p.setPen(Qt::black);
        p.drawText(QRect(4, 3, 14, 14), Qt::AlignCenter, "!");
        const int room = W - wM - wV - 207 - 24 - fm.horizontalAdvance(" ");
        drawTextAt(24, -4, fm.elidedText(c.problem, Qt::ElideRight, std::max(room, 0)));
    }
    drawTextAt(W - wM - wV - 207, -4, verse);
    p.fillRect(QRect(c.editorWidth - wM - 207, 0, wM + 207, kInfoBarHeight), kInfoDarkBlue);
    drawTextAt(W - wM - 207, -4, measure);

    for (int k = 0; k < u / 2; ++k) {
        const int x = W - 206 + 12 * k;
        const int j = 2 * k;
        p.fillRect(QRect(x, 5, 10, 10), kInfoLightBlue);
        if (j >= pos) continue;
        // Passed squares carry a dot, a large one on the first of each beat.
        if (k % 4 == 0) p.fillRect(QRect(x + 2, 7, 6, 6), kInfoDot);
        else p.fillRect(QRect(x + 3, 8, 4, 4), kInfoDot);
        if (j == pos - 1) {  // the caret a thirty-second note into this square
            p.fillRect(QRect(x + 5, 5, 5, 10), kInfoDarkBlue);
            p.setPen(kInfoLightBlue);
            p.setBrush(Qt::NoBrush);
            p.drawRect(QRect(x, 5, 9, 9));
        }
    }
}

}  // namespace bleeptone
