// The menus: screens of items that edit the configuration records directly, start races, time
// trials, series events and demo playback, choose bindings from input, and quit.
//
// One model serves every input: each screen is a list of items with one selected item; the
// menu keys, game-device buttons and stick, and the pointer (hover, click, drag, handled by the
// drawing in menu_draw.cpp) all act through the operations below. The main loop decides when
// a menu is shown (`menu_screen`, Esc, screens 13 and 15) and hands the menu every key press.
#pragma once

#include <string>
#include <vector>

struct Choice;
struct Slider;
struct TextSetting;
struct KeyBinding;
struct Axis;
struct GameWindow;

// Screen numbers (the value of g_menu.screen). MENU_NONE: no menu is shown and the game has
// the input. Screens 2 and 7 edit the rider information that a race server is told about; 13
// is a notice that Esc cannot close, only its own button; 15 is the chat and console line.
enum MenuScreen {
    MENU_NONE = -1,
    SCREEN_MAIN = 0,
    SCREEN_RACE = 1,
    SCREEN_BIKE = 2,
    SCREEN_TIME_TRIAL = 3,
    SCREEN_SERIES = 4,
    SCREEN_STANDINGS = 5,
    SCREEN_DEMOS = 6,
    SCREEN_RIDER = 7,
    SCREEN_SETUP = 8,
    SCREEN_CONTROLS = 9,
    SCREEN_AIDS = 10,
    SCREEN_GRAPHICS = 11,
    SCREEN_SOUND = 12,
    SCREEN_NOTICE = 13,
    SCREEN_MULTIPLAYER = 14,
    SCREEN_CONSOLE = 15,
    SCREEN_OPTIONS = 16,
    SCREEN_GATE = 17,
    SCREEN_COUNT
};

// The menu keys, looked up once by their key names, in this order.
enum MenuKey {
    MENU_KEY_UP,
    MENU_KEY_DOWN,
    MENU_KEY_LEFT,
    MENU_KEY_RIGHT,
    MENU_KEY_ENTER,
    MENU_KEY_KEYPAD_ENTER,
    MENU_KEY_ESC,
    MENU_KEY_PAUSE,
    MENU_KEY_CURSOR_LEFT,
    MENU_KEY_CURSOR_RIGHT,
    MENU_KEY_PAGE_UP,
    MENU_KEY_PAGE_DOWN,
    MENU_KEYS
};
// The code menu_key gets for a drag of the pointer with its button held.
constexpr int MENU_POINTER_DRAG = 16;

enum MenuItemKind {
    ITEM_LABEL = 0, // text only, never selected
    ITEM_SCREEN,    // opens another screen
    ITEM_ACTION,    // runs a function
    ITEM_CHOICE,    // a Choice record: left/right cycle its options
    ITEM_SLIDER,    // a Slider record: left/right step within its range
    ITEM_TOGGLE,    // an int setting used as 0 / non-zero
    ITEM_NUMBER,    // an int setting within a range
    ITEM_TEXT,      // a TextSetting: Enter starts typing
    ITEM_BINDING,   // a KeyBinding: Enter waits for a key or an axis
    ITEM_LIST,      // an index into a list (tracks): left/right cycle
};

struct MenuItem {
    int kind = ITEM_LABEL;
    std::string label;
    std::string note; // help line shown while the item is selected
    Choice* choice = nullptr;
    Slider* slider = nullptr;
    int* number = nullptr; // ITEM_TOGGLE, ITEM_NUMBER
    int min = 0, max = 1, step = 1;
    TextSetting* text = nullptr;
    KeyBinding* binding = nullptr;
    const char* (*list_text)(int index) = nullptr; // ITEM_LIST: text of entry index
    int list_index = 0;                            // ITEM_LIST: the entry chosen now
    void (*list_select)(int index) = nullptr;      // ITEM_LIST: chooses an entry
    int target = -1;                               // ITEM_SCREEN
    void (*action)(int arg) = nullptr;             // ITEM_ACTION
    int arg = 0;
    void (*changed)() = nullptr;     // after the value changed
    const char* setup_key = nullptr; // bike setup slider: also shown as its physical value
    int disabled = 0;                // shown dimmed, cannot be chosen
    int heading = 0;                 // ITEM_LABEL: 1 a group heading, 2 a warning, 0 a line of text
    std::string value;               // ITEM_SCREEN: a summary shown in the value column
};

// One screen as built for showing or for handling a key.
struct MenuPage {
    std::string title;
    std::string subtitle; // a line under the title ("5 laps", "Page 2 of 3")
    std::vector<MenuItem> items;
    int table = 0; // the series standings table is drawn above the items
};

// Process-wide state of the menus, the HUD and the title screen, written only by ui/ (read it
// through g_menu; the main loop changes it through the functions below).
struct MenuState {
    // What the main loop shares with the menu layer.
    int screen = SCREEN_MAIN;            // the screen shown, MENU_NONE for none
    int tick_start_screen = SCREEN_MAIN; // the screen when the current tick started
    int changed = 0;                     // the screen changed under the menus since the tick began
    int quit_requested = 0;              // a quit item was chosen
    GameWindow* window = nullptr;        // the window the menus and the HUD draw into
    int screen_width = 0, screen_height = 0; // size of the frame being drawn
    int video_mode_index = 0;                // "video_mode" index the window is in
    int keys[MENU_KEYS] = {};                // key codes of the menu keys, 0 when unknown
    int cursor[2] = {};                      // pointer position
    int pointer_held = 0;                    // the "cursor-left" key's state
    KeyBinding* watching = nullptr;          // binding being chosen from input ("watching pots")
    std::vector<Axis*> watch_axes;           // every axis, opened while watching

    int selected[SCREEN_COUNT] = {}; // selected item per screen
    int last_screen = -2;            // screen seen last, to notice changes made by the loop
    int editing = 0;                 // typing into a text item of the current screen
    TextSetting* edit_text = nullptr;
    char console_line[120] = ""; // the chat and console input line
    int message_scroll = 0;      // lines the message list is scrolled back, 0..950
    int series = 0;              // series shown on the standings screen
    int series_page = 0;         // standings page (8 rounds each)
    int lineup_rotation = 0;     // "--rotate-lineup": places rotated so far
    std::string notice_title, notice_text;
    int notice_return = SCREEN_MAIN;
    int window_size = 0;                   // index into menu_window_sizes of the configured size
    std::vector<std::string> window_sizes; // the list menu_window_sizes last made
    int deferred_item = -1;                // item clicked with the pointer, run outside the frame
    int deferred_screen = -1;
    int pointer_moved = 0; // the pointer moved since the last drawn menu (hover selects)
    int pointer_x = 0, pointer_y = 0;
    int pointer_pressed = 0; // a press of the pointer button not yet seen by the drawing
    int stick_looked = 0;    // the stick's axes were looked for
    Axis* stick[2] = {};     // x and y of the first game device, when there is one
    int stick_dir = 0;       // game-device stick direction held (1 up, 2 down, 3 left, 4 right)
    double stick_next = 0;   // platform-clock seconds of the next repeat
    int backspace_code = 0, delete_code = 0, home_code = 0, end_code = 0; // looked up once
};
extern const MenuState& g_menu;

// ---- The main loop's side ----

// The window the menus, the HUD and the title draw into and read their devices from (null
// for none).
void ui_set_window(GameWindow* window);
// Looks the menu keys up by name (after every binding resolve).
void menu_keys_resolve(GameWindow* window);
// The size of the frame being drawn (every frame, before any drawing).
void ui_set_screen_size(int width, int height);
// Shows a screen as the loop's keys do (Esc, the console key): no selection is moved.
void menu_show(int screen);
// A tick starts; an input event arrives (the menus learn that the screen changed under them).
void menu_tick_begin();
void menu_note_event();
// The pointer's position and its button's state.
void menu_set_cursor(int x, int y);
void menu_set_pointer_held(int held);
// The "video_mode" index the window is in (start-up, and the graphics menu's Apply).
void menu_set_video_mode_index(int index);

// Choosing a binding from input: watching starts with every device axis opened; the next key
// press (>= 256) binds that key, Esc ends the watch unchanged; once per tick the axes are
// checked and one pushed past half way is bound. Closing ends any watch and frees the axes.
void binding_watch_start(KeyBinding* binding);
void binding_watch_key(int code);
void binding_watch_tick();
void binding_watch_close();

// The loop's hooks: a key press while a menu is shown (key codes of the input layer, typed
// characters, MENU_POINTER_DRAG); the pointer position when its button is up; drawing.
void menu_key(int code);
void menu_track_pointer(int x, int y);
void menu_draw();

// Builds a screen's page from the current settings.
void menu_build(int screen, MenuPage* page);
// Shows a screen (or closes the menus with -1); the selection moves to a selectable item.
void menu_open(int screen);
// The screen that Back leads to from a screen (-1: close the menus).
int menu_parent(int screen);
// Back one level (Backspace, the pointer's right button, a device's second button).
void menu_back();
// Moves the selection by dir (-1 up, +1 down) over the selectable items, wrapping around.
void menu_move(int dir);
// Selects item index of the current screen when it can be selected.
void menu_select(int index);
// Changes the value of an item of the current screen by one step (dir -1 or +1).
void menu_adjust(int index, int dir);
// Sets a slider item to a fraction (0..1) of its range, on its step grid.
void menu_slider_set(int index, float fraction);
// Chooses an item: opens its screen, runs its action, steps a choice, starts typing or
// waiting for a binding.
void menu_activate(int index);
// The text shown for an item's value ("" for items without one).
std::string menu_item_value(const MenuItem& item);
// 1 while a text item or the console line is being typed into (the screenshot key types then).
int menu_text_editing();
// Lines the on-screen message list is scrolled back from the chat line (0 = the newest).
int menu_message_scroll();
// Shows the notice screen (13) with a title and text; OK returns to the given screen.
void menu_notice(const char* title, const char* text, int return_to);
// Index of the selected item of the current screen, or -1.
int menu_current_selection();
// Reads the game device's stick and moves like the arrow keys, repeating while it is held.
void menu_stick_poll(double now);
// One stick reading: direction 0 none, 1 up, 2 down, 3 left, 4 right, at clock time now. A new
// direction acts at once, a held one after 0.4 s and then every 0.12 s.
void menu_stick_step(int dir, double now);
// Puts the menu state back to its start (tests).
void menu_reset();

// Actions (menu_actions.cpp).
// Starts the race set up on the race screen; 1 on success.
int menu_start_race();
// Starts a time trial on the current track.
int menu_start_time_trial();
// Starts the next event of points series index (from the standings screen); 1 on success.
int menu_start_series(int series);
// Plays the demo at index of the demo list in the configured playback mode.
int menu_start_demo(int index);
// The Multiplayer screen's Connect item: joins the typed server (it goes first in the server
// history) and closes the menus; while connected it disconnects instead.
void menu_connect();
// Asks the race server for a restart (ready to race, in the warm-up).
void menu_request_restart();
// Builds the rider table of a menu race from the 40 gate settings, rotated by the places
// "--rotate-lineup" has moved them so far.
void menu_race_table(int table[40]);
// Builds the rider table of a demo playback: all demo riders, and in "Race Against" the local
// player in the first gate set to "Human" (else gate 1).
void menu_demo_table(int race_against, int table[40]);
// Opens the window again in the chosen "Video Mode" (full screen at a mode's size, the desktop,
// or a window of "xres" x "yres").
void menu_apply_video_mode(int);
// Window sizes offered for "Windowed": a list of "%dx%d" texts with the configured size in it.
const std::vector<std::string>& menu_window_sizes();
// Sets "xres" and "yres" from entry index of menu_window_sizes, and resizes the window when it
// is a window.
void menu_set_window_size(int index);
