// Typing the song file name and the instrument description, and saving and loading
// songs by name as the user does it.
#include <dirent.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "editor_harness.h"
#include "host/game.h"
#include "support/files.h"
#include "support/xvfb.h"

using Kind = ChannelCall::Kind;

class NameEntry : public EditorHarness {
protected:
    void clickNameBox() { click(100, 450); }
    void clickDescriptionBox() { click(500, 130); }
    String& description() { return app->song.instrumentDescriptions[app->currentInstrument]; }
};

TEST_F(NameEntry, UpperCaseLettersAreRefused) {
    clickNameBox();
    EXPECT_EQ(app->nameEntryActive, 1);
    typeEach(U"Song1");
    EXPECT_EQ(app->fileName, U"ong1");
}

TEST_F(NameEntry, NameHoldsAtMost32Characters) {
    clickNameBox();
    typeEach(String(31, U'a') + U"bcd");
    EXPECT_EQ(app->fileName, String(31, U'a') + U"b");
}

TEST_F(NameEntry, AcceptsExactlyItsFiftyOneCharacters) {
    const String accepted = String(U"\u00fc\u00e4\u00f6 abcdefghijklmnopqrstuvwxyz!-._()&+[]/1234567890");
    ASSERT_EQ(accepted.size(), 51u);
    clickNameBox();
    for (char32_t c : accepted) {
        app->fileName.clear();
        type(String(1, c));
        EXPECT_EQ(app->fileName, String(1, c)) << int(c);
    }
    for (char32_t c : String(U"AZ\\@*~{=?:;,'\"#<>\u00e9\u00dc\u00df\t")) {
        app->fileName.clear();
        type(String(1, c));
        EXPECT_TRUE(app->fileName.empty()) << int(c);
    }
}

TEST_F(NameEntry, BackspaceAndDeleteRemoveOneCharacter) {
    clickNameBox();
    typeEach(U"abc");
    press(Key::Backspace, 8);
    EXPECT_EQ(app->fileName, U"ab");
    press(Key::Delete, 127);
    EXPECT_EQ(app->fileName, U"a");
    press(Key::Backspace, 8);
    press(Key::Backspace, 8);
    EXPECT_EQ(app->fileName, U"");
}

TEST_F(NameEntry, OnlyEnterEndsTheEntryAndTheTextStays) {
    clickNameBox();
    typeEach(U"tune");
    click(600, 300);   // elsewhere
    EXPECT_EQ(app->nameEntryActive, 1);
    press(Key::Enter, 13);
    EXPECT_EQ(app->nameEntryActive, 0);
    EXPECT_EQ(app->fileName, U"tune");
    editing();
    type(U"q");   // back to the pattern
    EXPECT_EQ(app->fileName, U"tune");
    EXPECT_EQ(cell(noteColumn(1), 1), U'q');
    clickNameBox();
    type(U"2");
    EXPECT_EQ(app->fileName, U"tune2");
}

TEST_F(NameEntry, ActiveEntryHoldsStandbyAndSilence) {
    editing();
    clickNameBox();
    EXPECT_EQ(app->mode, Mode::Standby);
    app->mode = Mode::Editing;
    channels.calls.clear();
    update();
    EXPECT_EQ(app->mode, Mode::Standby);
    std::vector<int> stops = channels.channelsOf(Kind::Stop);
    EXPECT_EQ(stops, (std::vector<int>{1, 2, 3, 4, 6, 5, 8, 7}));
}

TEST_F(NameEntry, SecondCharacterOfAnUpdateIsOnlyPreviewed) {
    editing();
    clickNameBox();
    channels.calls.clear();
    type(U"xq");
    EXPECT_EQ(app->fileName, U"x");
    EXPECT_EQ(cell(noteColumn(1), 1), U'.');
    EXPECT_EQ(editor().lastNoteKey, U"q");
    EXPECT_EQ(channels.channelsOf(Kind::Play), (std::vector<int>{1, 5}));
}

TEST_F(NameEntry, DescriptionStartsEmptyAndHoldsAtMost21Characters) {
    description() = U"old text";
    clickDescriptionBox();
    EXPECT_EQ(app->descriptionEntryActive, 1);
    EXPECT_EQ(description(), U"");
    typeEach(String(20, U'b') + U"xyz");
    EXPECT_EQ(description(), String(20, U'b') + U"x");
    press(Key::Enter, 13);
    EXPECT_EQ(description().size(), 21u);
    EXPECT_EQ(app->descriptionEntryActive, 0);
}

TEST_F(NameEntry, EnterPadsTheDescriptionTo21) {
    app->currentInstrument = 4;
    clickDescriptionBox();
    typeEach(U"lead!");
    press(Key::Enter, 13);
    EXPECT_EQ(app->song.instrumentDescriptions[4], U"lead!" + String(16, U' '));
    EXPECT_EQ(app->song.instrumentDescriptions[1], U"");
}

TEST_F(NameEntry, BackspaceEmptiesTheDescription) {
    clickDescriptionBox();
    typeEach(U"bass");
    press(Key::Backspace, 8);
    EXPECT_EQ(description(), U"");
    typeEach(U"hat");
    press(Key::Delete, 127);
    EXPECT_EQ(description(), U"");
    EXPECT_EQ(app->descriptionEntryActive, 1);
}

TEST_F(NameEntry, BothEntriesTakeTheirOwnCharacterNameFirst) {
    clickNameBox();
    clickDescriptionBox();
    type(U"ab");
    EXPECT_EQ(app->fileName, U"a");
    EXPECT_EQ(description(), U"b");
    press(Key::Enter, 13);   // ends both
    EXPECT_EQ(app->nameEntryActive, 0);
    EXPECT_EQ(app->descriptionEntryActive, 0);
}

// ---- Saving and loading through real files ----

namespace {

bool fileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

int countFiles(const std::string& folder) {
    int n = 0;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") ++n;
        closedir(d);
    }
    return n;
}

}  // namespace

class SongFiles : public NameEntry {
protected:
    TempDir dir;
    std::unique_ptr<VXGlfwGame> game;
    std::string songs;

    void SetUp() override {
        mkdir(dir.file("data").c_str(), 0755);
        songs = dir.file("data/songs");
        mkdir(songs.c_str(), 0755);
        game = std::make_unique<VXGlfwGame>();
        game->setDataRoot(widen(dir.path()));
        NameEntry::SetUp();
    }
    void TearDown() override {
        NameEntry::TearDown();
        game.reset();
    }
    void nameTheSong(const String& name) {
        clickNameBox();
        while (!app->fileName.empty()) press(Key::Backspace, 8);
        typeEach(name);
        press(Key::Enter, 13);
    }
    void clickSave() { click(460, 450); }
    void clickLoad() { click(410, 450); }
};

TEST_F(SongFiles, TypedPatternSurvivesSaveChangeAndLoad) {
    editing();
    typeEach(U"qwe");
    app->cursorColumn = 2;
    app->cursorRow = 1;
    type(U"c");
    app->song.orderList[1] = 3;
    app->song.songLength = 64;
    nameTheSong(U"tune1");
    Song saved = app->song;
    clickSave();
    EXPECT_EQ(app->status, Status::FileSaved);
    EXPECT_TRUE(fileExists(songs + "/tune1"));

    editing();
    app->cursorColumn = 1;
    app->cursorRow = 1;
    typeEach(U"yyy");
    app->song.orderList[1] = 9;
    app->currentPosition = 4;
    app->editRow = 0;
    clickLoad();
    EXPECT_EQ(app->status, Status::FileLoaded);
    EXPECT_EQ(app->song.trackColumns, saved.trackColumns);
    EXPECT_EQ(app->song.orderList, saved.orderList);
    EXPECT_EQ(app->song.songLength, 64);
    EXPECT_EQ(app->currentPosition, 0);
    EXPECT_EQ(app->editRow, 0);
    EXPECT_EQ(app->fileName, U"tune1");

    // The loaded song is the floor of the history.
    app->undoStep();
    EXPECT_EQ(app->song.trackColumns, saved.trackColumns);
    editing();
    type(U"p");
    app->undoStep();
    app->undoStep();
    EXPECT_EQ(app->song.trackColumns, saved.trackColumns);
}

TEST_F(SongFiles, WholeFramesFromEditingToSaveLoadAndUndo) {
    wholeFrames = true;
    press(Key::Space, ' ');
    EXPECT_EQ(app->status, Status::Editing);
    typeEach(U"qwe");
    nameTheSong(U"song2");
    EXPECT_EQ(app->mode, Mode::Standby);          // the entry left the editor in Standby
    press(Key::Space, ' ');
    EXPECT_EQ(app->mode, Mode::Editing);
    clickSave();
    EXPECT_EQ(app->status, Status::FileSaved);
    typeEach(U"yy");
    EXPECT_EQ(rows(noteColumn(1), 1, 5), U"qweyy");
    clickLoad();
    EXPECT_EQ(app->status, Status::FileLoaded);
    EXPECT_EQ(rows(noteColumn(1), 1, 5), U"qwe..");
    click(600, 346);                  // UNDO: the loaded song is the floor
    EXPECT_EQ(rows(noteColumn(1), 1, 5), U"qwe..");
    EXPECT_EQ(rows(octaveColumn(1), 1, 4), U"2220");
}

TEST_F(SongFiles, SaveWithoutANameWritesNothing) {
    press(Key::F11);
    EXPECT_EQ(app->status, Status::EnterName);
    EXPECT_EQ(countFiles(songs), 0);
    EXPECT_EQ(countFiles(dir.file("data")), 1);
}

TEST_F(SongFiles, LoadOfAMissingFileKeepsTheSongButGoesHome) {
    editing();
    type(U"q");
    Song before = app->song;
    nameTheSong(U"nosuch");
    app->currentPosition = 3;
    press(Key::F12);
    EXPECT_EQ(app->status, Status::FileNotFound);
    EXPECT_EQ(app->song.trackColumns, before.trackColumns);
    EXPECT_EQ(app->currentPosition, 0);
    app->fileName.clear();
    press(Key::F12);
    EXPECT_EQ(app->status, Status::FileNotFound);
}

TEST_F(SongFiles, SaveAndLoadWorkWhileTheNameIsTyped) {
    editing();
    type(U"q");
    clickNameBox();
    typeEach(U"live");
    press(Key::F11);
    EXPECT_EQ(app->status, Status::FileSaved);
    EXPECT_EQ(app->nameEntryActive, 1);
    EXPECT_TRUE(fileExists(songs + "/live"));
    app->song.trackColumns[noteColumn(1)].set(0, U'.');
    press(Key::F12);
    EXPECT_EQ(app->status, Status::FileLoaded);
    EXPECT_EQ(app->nameEntryActive, 1);
    EXPECT_EQ(app->song.cell(noteColumn(1), 0), U'q');
    type(U"2");
    EXPECT_EQ(app->fileName, U"live2");
}

// The name box finds songs: Up and Down step through the songs of the folder and the
// demos, newest first (the folder's copy of a name wins, the hand-off, working files,
// WAVs and backup/ are left out), Tab completes a typed start; the pattern's cursor
// stays. LOAD finds a demo, SAVE writes the folder's own copy.
TEST_F(SongFiles, UpDownAndTabPickTheSongsOfTheFolderAndTheDemosNewestFirst) {
    namespace fs = std::filesystem;
    const std::string song = readFile(TAMO_SOURCE_DIR "/data/songs/demo1");
    const std::string demos = dir.file("demos");
    mkdir(demos.c_str(), 0755);
    mkdir((songs + "/backup").c_str(), 0755);
    const auto now = fs::file_time_type::clock::now();
    int age = 0;
    for (const std::string& file : {songs + "/alpha", demos + "/alto", songs + "/beta", demos + "/beta",
                                    demos + "/demo1", songs + "/tmp.dat", songs + "/alpha~export",
                                    songs + "/backup/zeta"}) {
        std::ofstream(file, std::ios::binary) << song;
        fs::last_write_time(file, now - std::chrono::minutes(age++));
    }
    std::ofstream(songs + "/alpha.wav") << "RIFF";
    app->songs.setDemoFolder(widen(demos) + U"/");
    app->cursorRow = 5;
    app->cursorColumn = 3;

    clickNameBox();
    std::vector<String> shown;
    for (int i = 0; i < 5; ++i) press(Key::Down), shown.push_back(app->fileName);
    EXPECT_EQ(shown, (std::vector<String>{U"alpha", U"alto", U"beta", U"demo1", U"demo1"}));
    press(Key::Up);
    EXPECT_EQ(app->fileName, U"beta");
    app->fileName = U"zzz";
    press(Key::Up);
    EXPECT_EQ(app->fileName, U"alpha") << "from another name: the newest";
    for (const auto& [typed, completed] : std::vector<std::pair<String, String>>{
             {U"al", U"alpha"}, {U"alt", U"alto"}, {U"d", U"demo1"}, {U"x", U"x"}, {U"", U"alpha"}}) {
        app->fileName = typed;
        press(Key::Tab);
        EXPECT_EQ(app->fileName, completed) << narrow(typed);
    }
    EXPECT_EQ(app->cursorRow, 5);
    EXPECT_EQ(app->cursorColumn, 3);

    app->fileName = U"alto";
    press(Key::F12);
    EXPECT_EQ(app->status, Status::FileLoaded);
    press(Key::F11);
    EXPECT_EQ(readFile(songs + "/alto"), song);
    press(Key::Enter, 13);
    press(Key::Down);
    EXPECT_EQ(app->fileName, U"alto") << "the entry has ended";
    EXPECT_EQ(app->cursorRow, 6);
}
