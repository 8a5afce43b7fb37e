#pragma once
// Drives the editor the way the host does: events go into a real input state, one
// editor step runs, then the update's hits and characters are cleared. Channel
// operations of the editor are recorded (a real audio device is used where the
// test says so).
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "audio/sample.h"
#include "host/input.h"
#include "tracker/app/app.h"
#include "tracker/app/blocks.h"
#include "tracker/app/editor.h"
#include "tracker/core/player.h"

struct ChannelCall {
    enum Kind { Stop, Play, Volume, Rate } kind;
    int channel;
    float value;            // volume, rate, or the play flags
    const c_Sound* sound;   // Play only
};

class RecordingChannels : public ChannelOut {
public:
    std::vector<ChannelCall> calls;
    void stop(int c) override { calls.push_back({ChannelCall::Stop, c, 0, nullptr}); }
    void play(const c_Sound* s, int c, int flags) override {
        calls.push_back({ChannelCall::Play, c, float(flags), s});
    }
    void setVolume(int c, float v) override { calls.push_back({ChannelCall::Volume, c, v, nullptr}); }
    void setRate(int c, float r) override { calls.push_back({ChannelCall::Rate, c, r, nullptr}); }

    std::vector<ChannelCall> of(ChannelCall::Kind kind) const {
        std::vector<ChannelCall> out;
        for (const auto& c : calls)
            if (c.kind == kind) out.push_back(c);
        return out;
    }
    std::vector<int> channelsOf(ChannelCall::Kind kind) const {
        std::vector<int> out;
        for (const auto& c : of(kind)) out.push_back(c.channel);
        return out;
    }
    // The value last sent to `channel` with `kind`; -1 when none was sent.
    float last(ChannelCall::Kind kind, int channel) const {
        float v = -1;
        for (const auto& c : calls)
            if (c.kind == kind && c.channel == channel) v = c.value;
        return v;
    }
};

class EditorHarness : public ::testing::Test {
protected:
    c_InputDevice input;
    std::unique_ptr<c_SoundEngine> app;
    RecordingChannels channels;
    std::array<std::shared_ptr<c_Sound>, kWaveSamples> fakeSamples;   // no sample data

    void SetUp() override {
        c_InputDevice::setCurrent(&input);
        app = std::make_unique<c_SoundEngine>();
        app->resetUndo();
        editorOf(*app).out = &channels;
        for (auto& s : fakeSamples) s = std::make_shared<c_Sound>(nullptr);
        app->waveSamples = fakeSamples;
        setInstrument(1, {1, 0, 0, 0, 1, 0, 0, 0});
    }
    void TearDown() override {
        app.reset();
        c_InputDevice::setCurrent(nullptr);
    }

    void setInstrument(int n, std::array<int, 8> params) {
        for (int j = 0; j < 8; ++j) app->song.param(n, j) = params[j];
    }

    bool wholeFrames = false;   // run the application's whole update, not only the editor

    // One editor update with what has been queued so far.
    void update() {
        if (wholeFrames) app->handleUpdate();
        else app->editorInput();
        input.endUpdate();
    }
    // All characters arrive within one update.
    void type(const String& text) {
        for (char32_t c : text) input.putChar(int(c));
        update();
    }
    // One character per update.
    void typeEach(const String& text) {
        for (char32_t c : text) type(String(1, c));
    }
    // A key pressed and released before the next update; `character` is what the
    // host queues for it (8 Backspace, 13 Enter, 127 Delete, ...).
    void press(int key, int character = 0) {
        input.pressKey(key);
        if (character) input.putChar(character);
        update();
        input.releaseKey(key);
    }
    void click(float x, float y) {
        input.setPointer(x, y, 0);
        input.pressKey(Key::MouseLeft);
        update();
        input.releaseKey(Key::MouseLeft);
    }
    void wheel(float delta) {
        app->wheelDelta = delta;
        update();
        app->wheelDelta = 0;
    }
    void editing() { app->mode = Mode::Editing; }

    // Cell of screen row `row` (1..32) of the view in text column `column`.
    char32_t cell(int column, int row) const {
        return app->song.cell(column, screenIndex(app->patternBase, app->editRow, row));
    }
    void putCell(int column, int row, char32_t c) {
        setCell(app->song, column, screenIndex(app->patternBase, app->editRow, row), c);
    }
    // Cells of screen rows from..to (inclusive) of a column, as text.
    String rows(int column, int from, int to) const {
        String s;
        for (int r = from; r <= to; ++r) s += cell(column, r);
        return s;
    }
    // Fills channel `ch`'s four columns, screen rows 1..32, with distinct cells.
    void fillChannel(int ch) {
        const String notes = U"ysxdcvgbhnjmq2w3er5t6z7ui9o0pysx";
        for (int r = 1; r <= 32; ++r) {
            putCell(noteColumn(ch), r, notes[r - 1]);
            putCell(volumeColumn(ch), r, U"123456789ABCDEF"[r % 15]);
            putCell(instrumentColumn(ch), r, U"123456789ABCDEF"[(r + 3) % 15]);
            putCell(octaveColumn(ch), r, U"0123"[r % 4]);
        }
    }
    String channelRows(int ch, int from, int to) const {
        return rows(noteColumn(ch), from, to) + U"|" + rows(volumeColumn(ch), from, to) + U"|" +
               rows(instrumentColumn(ch), from, to) + U"|" + rows(octaveColumn(ch), from, to);
    }
    EditorState& editor() { return editorOf(*app); }
    UndoState& undo() { return *app->undoState; }
};

inline std::string show(const String& s) { return narrow(s); }
