// The update run: the one operation the wizard exists for. It opens the
// calendar database, writes the 2010 days into Dates, imports the named days
// as all-day events, closes the database and shows the Finish page. The
// window and the batch command drive it alike, each through its own
// UpdateView.
//
// The window states around a run:
//
//   state      status text        main button          Cancel
//   Ready      (the window's)     "Next >", enabled    enabled
//   Running    kWaitText          "Next >", disabled   enabled
//   Stopped    kWaitText          "Next >", disabled   enabled
//   Finish     kCompletedText     "Finish", enabled    disabled
//
// Invariants:
//   (U1) The wait text is set and the view yields once before any database
//        work; the view is not yielded to again during the run.
//   (U2) A failed open or a failed day merge stops the run silently (the
//        step has reported) in the Stopped state; after a failed merge the
//        shared connection stays open until a later run's open replaces it.
//        A failed event import does not stop it.
//   (U3) Only a complete run touches the buttons: caption "Finish", then
//        main button enabled, then Cancel disabled, in this order.
//   (U4) Any other failure (the view, the year data, the close) is reported
//        once as "frmMain.Update" line 0 and leaves the state reached.
//   (U5) The record array lives for one run and is released on every path.
//   (U6) Where Windows virtualises the calendar, the run updates the file
//        the calendar reads (virtual_store.h): the VirtualStore copy of the
//        file named when there is one, or one it makes when the user may not
//        change the file in place; it tells the view before the open step.
//        A copy that cannot be made is reported as in (U4).
#pragma once

#include <string>
#include <string_view>

#include "wizard/virtual_store.h"

namespace wizard {

inline constexpr std::string_view kWaitText = "Updating the database...please wait.";
inline constexpr std::string_view kCompletedText =
    "Update completed!  Please click Finish to end the update.";
inline constexpr std::string_view kFinishCaption = "Finish";

// What the run needs of its window. A method may throw; the run reports it
// (U4).
class UpdateView {
 public:
  virtual ~UpdateView() = default;
  virtual void SetStatusText(std::string_view text) = 0;
  virtual void SetMainButtonCaption(std::string_view caption) = 0;
  virtual void SetMainButtonEnabled(bool enabled) = 0;
  virtual void SetCancelEnabled(bool enabled) = 0;
  // Processes the window's pending events once, painting included, and
  // returns (U1).
  virtual void YieldToEvents() = 0;
  // The run updates `copy`, the VirtualStore copy of the file it was given;
  // `made` when the run has just made it (U6).
  virtual void UpdatingCopy(const std::string& copy, bool made) {
    (void)copy;
    (void)made;
  }
};

// Runs the whole update on `strDatabaseFile` (read once, at the start),
// or on its VirtualStore copy (U6), with `system`'s VirtualStore. No result:
// the view's final state tells how it went.
void Update(UpdateView& view, const std::string& strDatabaseFile, const VirtualStoreSystem& system);
// The same with this system's VirtualStore.
void Update(UpdateView& view, const std::string& strDatabaseFile);

}  // namespace wizard
