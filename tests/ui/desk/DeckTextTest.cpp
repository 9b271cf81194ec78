// Deck text templates expanded to pieces: placeholders, flags, escapes and positions.

#include "ui/desk/DeckText.h"

#include <gtest/gtest.h>

namespace {

std::string joined(const std::vector<TextPiece>& pieces) {
    std::string all;
    for (const TextPiece& p : pieces)
        all += p.text;
    return all;
}

DeckView playing(int seconds, float position, float bpm = 120.0f) {
    return {.status = 0, .position = position, .duration = seconds, .storedBpm = bpm};
}

TEST(DeckText, PlaceholdersFlagsAndEscapes) {
    struct Case {
        const char* pattern;
        DeckView deck;
        const char* expected;
    };
    const DeckView faster{
        .status = 0, .position = 0.5f, .duration = 180, .speed = 4300, .storedBpm = 120.0f};
    const DeckView beforeCue{.status = 0, .position = 0.45f, .duration = 100, .memoryPoint = 0.5f};
    DeckView silent{
        .status = 0, .position = 0.5f, .duration = 100, .loudness = 1000000, .volume = 0};
    DeckView loud = silent;
    loud.volume = 256;
    const Case cases[] = {
        {"%left", playing(200, 0.0f), "03:20.1"},
        {"%Bspent", playing(60, 0.5f), "60.0"}, // 30 s of a 120 BPM track: 60 beats
        {"%bpm", faster, "126.0"},
        {"%Pbpm", faster, "120.0"},
        {"%spent", faster, "01:25.7"}, // times follow the speed
        {"%Pspent", faster, "01:30.0"},
        {"%cue", beforeCue, "-00:05.0"},
        {"%level", silent, "--"},
        {"%leveldB", loud, "-4.8dB"}, // 20 log10(1e6 x 256 x 2.249e-9)
        {"%pitch", faster, "105.0"},
        {"%spent", playing(100, -1.0f), "--"},
        {"%time", playing(100, -1.0f), "01:40.0"},
        {"%bpm", playing(100, 0.5f, 0.0f), "--"},
        {"%Left", playing(200, 0.0f), "03:20.1"}, // a capital flag letter that begins a name
        {"%xyz 100%%", playing(1, 0), "%xyz 100%"},
        {"\\65\\\\\\q", playing(1, 0), "A\\\\q"},
        {"a\\nb\\tc", playing(1, 0), "a\r\nb\tc"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(joined(expandDeckTemplate(c.pattern, c.deck)), c.expected) << c.pattern;
}

TEST(DeckText, PositionDirectivesMoveTheOrigin) {
    std::vector<std::pair<QPoint, std::string>> pieces;
    for (const TextPiece& p : expandDeckTemplate("A%29Left: %left%10,58B", playing(200, 0.0f)))
        pieces.emplace_back(p.origin, p.text);
    EXPECT_EQ(pieces, (std::vector<std::pair<QPoint, std::string>>{
                          {{0, 0}, "A"}, {{0, 29}, "Left: 03:20.1"}, {{10, 58}, "B"}}));
}

} // namespace
