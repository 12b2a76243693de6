#pragma once
// The events the main thread's loop serves, one per iteration.

#include <cstdint>

namespace bleeptone {

enum class ControlEventType {
    Click = 0,     // a button click (also posted by the program)
    Up = 4,        // a spin box arrow up
    Down = 5,      // a spin box arrow down
    Focus = 256,   // an editor got the keyboard focus
    Change = 768,  // the user changed a text, a list box selection or a spin box value
};

struct AppEvent {
    // GoToPlace, PlayFromMoment and LoopRange are the song view's requests.
    enum class Kind { Menu, Control, Close, OpenDocuments, Engine, RecoverWork, MidiNote, GoToPlace, PlayFromMoment, LoopRange };
    Kind kind = Kind::Menu;
    int number = 0;  // menu item, control or window number; GoToPlace: the channel
    ControlEventType type = ControlEventType::Click;
    // Engine events: -1, -2 or a "*" number. GoToPlace: the verse; PlayFromMoment: the song frame;
    // LoopRange: its first frame.
    std::int64_t data = 0;
    std::int64_t data2 = 0;  // GoToPlace: the column; LoopRange: the frame after its last (none: not after data)

    static AppEvent menu(int item) { return {Kind::Menu, item}; }
    static AppEvent control(int number, ControlEventType type = ControlEventType::Click) {
        return {Kind::Control, number, type};
    }
    static AppEvent close(int window) { return {Kind::Close, window}; }
    static AppEvent openDocuments() { return {Kind::OpenDocuments}; }
    static AppEvent recoverWork() { return {Kind::RecoverWork}; }  // once, after start-up
    static AppEvent engine(std::int64_t data) { return {Kind::Engine, 0, ControlEventType::Click, data}; }
    // A note played on the MIDI keyboard: its number, and its velocity as data.
    static AppEvent midiNote(int note, int velocity) {
        return {Kind::MidiNote, note, ControlEventType::Click, velocity};
    }
    static AppEvent goToPlace(int channel, int verse, int column) {
        return {Kind::GoToPlace, channel, ControlEventType::Click, verse, column};
    }
    static AppEvent playFromMoment(std::int64_t frame) {
        return {Kind::PlayFromMoment, 0, ControlEventType::Click, frame};
    }
    static AppEvent loopRange(std::int64_t start, std::int64_t end) {
        return {Kind::LoopRange, 0, ControlEventType::Click, start, end};
    }
};

}  // namespace bleeptone
