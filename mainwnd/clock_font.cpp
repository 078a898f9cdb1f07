// The clock's font size. Each size looked at loads the face at that size, which start-up pays for, so the
// first look is at the size that fits the usual face, and the line height of the next size is worked out
// from its metrics rather than loaded.
#include "mainwnd/clock_font.h"

#include <QFontMetrics>
#include <QFontMetricsF>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

// Arial's line (Liberation Sans is what Debian gives for it) is 1.117 em: at nine tenths of the cell height
// a size fits the cell exactly.
constexpr int kFirstGuessPercent = 90;
// Metrics come in 64ths of a pixel: a rounding this close to a half is not worked out, but measured.
constexpr double kUncertain = 2.0 / 64;

int heightAt(QFont font, int size)
{
    font.setPixelSize(size);
    return QFontMetrics(font).height();
}

bool roundsUncertainly(double value)
{
    return std::abs(value - std::floor(value) - 0.5) < kUncertain;
}

bool whole(double value)
{
    return value == std::floor(value);
}

// The line height at `size` of a face whose metrics grow in proportion to the size, from its metrics at
// `font`'s size (the ascent and the descent are each rounded to whole pixels, as QFontMetrics does); nothing
// when the face's metrics are rounded by its hinting, or a rounding is too close to call.
std::optional<int> heightScaledTo(const QFont& font, int size)
{
    const QFontMetricsF metrics(font);
    if (whole(metrics.ascent()) || whole(metrics.descent()))
        return std::nullopt;
    const double scale = static_cast<double>(size) / font.pixelSize();
    const double ascent = metrics.ascent() * scale;
    const double descent = metrics.descent() * scale;
    if (roundsUncertainly(ascent) || roundsUncertainly(descent))
        return std::nullopt;
    return static_cast<int>(std::lround(ascent) + std::lround(descent));
}

// Measures its way from the size `measured` had to the largest size that fits.
int searchFrom(const QFont& base, int cellHeight, int measuredSize, int measured)
{
    int size = measured > 0 ? std::max(1, measuredSize * cellHeight / measured) : cellHeight;
    int height = heightAt(base, size);
    while (size > 1 && height > cellHeight)
        height = heightAt(base, --size);
    // A size that fills the cell exactly may share its line height with the next one.
    while (height <= cellHeight && heightAt(base, size + 1) <= cellHeight)
        ++size;
    return size;
}

} // namespace

int pixelSizeForCellHeight(const QFont& base, int cellHeight)
{
    QFont guess = base;
    guess.setPixelSize(std::max(1, cellHeight * kFirstGuessPercent / 100));
    const int height = QFontMetrics(guess).height();
    if (height <= cellHeight) {
        const std::optional<int> next = heightScaledTo(guess, guess.pixelSize() + 1);
        if (next && *next > cellHeight)
            return guess.pixelSize();
    }
    return searchFrom(base, cellHeight, guess.pixelSize(), height);
}
