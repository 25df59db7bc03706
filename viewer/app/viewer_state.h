// The viewer application's process-wide state: what the application, the frame and the
// view share about the open job and the drawing, and the busy count that keeps commands
// and hand-overs away while a load or a drawing pumps events.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "fonts/shx_font.h"
#include "viewer/app/viewer_settings.h"

namespace kavrinth {

inline constexpr int kCaptureFileSlotCount = 18;

// What has changed since the stored full view (the picture of the whole job kept for the
// All command) was stored: the window's size or a selection, the layer table, the drawing
// settings and the loaded extents, the edits or the background colour.
enum FullViewChange : int {
  kFullViewResized,
  kFullViewLayers,
  kFullViewDrawing,
  kFullViewEdits,
  kFullViewChangeCount,
};

struct ViewerAppState {
  std::string program_directory;
  std::string temporary_directory;  // "TmpDir"
  std::string job_file_name;        // the job named in Open New Job or read last; "" after New
  std::string current_job_path;     // the open job; stored as "LastJobFileName"
  std::string last_open_path;       // the file last chosen for a layer; file dialogs start there
  bool file_dialog_open = false;
  bool new_job_from_dialog = false;  // the Layer Table dialog runs for a new job
  bool layers_loaded = false;
  bool picture_valid = false;
  bool job_loaded = false;
  // A full drawing runs; set from the start until the first one has ended, so that clicks
  // in the view are not taken before the job's first picture is there.
  bool drawing_active = true;
  bool drawing_guard = false;      // the view's drawing is under way
  int64_t ram_use_limit = 0;       // bytes; 0 or less: none
  bool layer_colour_only = false;  // "-fbclr"
  bool error_file_given = false;   // "-vefn:"
  std::string error_file_name;
  std::array<std::string, kCaptureFileSlotCount> capture_file_slots;
  int32_t current_layer = 0;
  int32_t fill_mode = 1;  // of the current view: 0 outline, 1 filled
  uint32_t background_colour = kDefaultBackground;
  ViewerSettings settings;  // the stored values the frame keeps
  int busy_depth = 0;       // loads and drawings under way
  int command_depth = 0;    // command handlers under way
  // The stored full view: the next whole drawing of the all-extents view stores it again
  // while the rebuild flag is set; the fill state (1 filled) it was drawn with, -1 before
  // any; the changes since it was stored.
  bool full_view_rebuild = true;
  int32_t full_view_fill = -1;
  std::array<bool, kFullViewChangeCount> full_view_stale{};
  // A file to show in the desktop's text viewer once the next drawing has run (the merge
  // log); it is shown once.
  std::string pending_open_path;
};

ViewerAppState& AppState();

// Something the stored full view shows has changed: the next All draws the job again.
inline void MarkFullViewStale(FullViewChange change) { AppState().full_view_stale[change] = true; }

// The directory file dialogs start in when they have none of their own: that of the last
// opened path while it exists, else the current directory.
std::string DialogStartDirectory();

// The text font the viewer loads at start-up ("Mirelt.shx" beside the program); empty
// tables when it could not be loaded.
ShxFont& ViewerTextFont();

// Marks the viewer busy for one scope: commands that could free what the work uses are
// disabled and hand-overs wait until it ends.
class BusyScope {
 public:
  BusyScope();
  ~BusyScope();
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;
};

// Marks a command handler under way for one scope.
class CommandScope {
 public:
  CommandScope() { ++AppState().command_depth; }
  ~CommandScope() { --AppState().command_depth; }
  CommandScope(const CommandScope&) = delete;
  CommandScope& operator=(const CommandScope&) = delete;
};

// Shows a file in the desktop's text viewer (nothing without a display); tests replace it
// (an empty function brings the desktop's back).
void OpenInDesktopViewer(const std::string& path);
void SetDesktopViewer(std::function<void(const std::string&)> viewer);
// Shows the pending file, if there is one, and forgets it.
void OpenPendingFile();

// Called when the busy count changes (the frame updates its commands).
void SetBusyChangedCallback(void (*callback)());

}  // namespace kavrinth
