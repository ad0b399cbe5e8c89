#pragma once

#include "QuickPanelCapture.h"
#include "QuickPanelCommands.h"
#include "QuickPanelContext.h"
#include "QuickPanelNewLink.h"
#include "QuickPanelSearch.h"
#include "QuickPanelServices.h"
#include "QuickPanelState.h"
#include "QuickPanelTips.h"

namespace morvane {

// The quick panel's model as the views hold it: its parts, built once in the order they depend on
// each other, and what a showing of the panel does across them. The views bind to the parts:
//
//   state()    the rows, the selection with its related links, the mode and the message
//   search()   the query and the loading of the list for it
//   context()  what is in front of the user
//   commands() the commands on the selected row and their confirmations
//   newLink()  the add form's fields and save
//   tips()     the instruction banners
//
// The parts live and die together, so a task that finds its own part still there after a wait finds
// the others too. Main thread only.
class QuickPanelViewModel {
public:
    explicit QuickPanelViewModel(QuickPanelServices services);
    ~QuickPanelViewModel();
    QuickPanelViewModel(const QuickPanelViewModel&) = delete;
    QuickPanelViewModel& operator=(const QuickPanelViewModel&) = delete;

    QuickPanelState& state() { return m_state; }
    const QuickPanelState& state() const { return m_state; }
    QuickPanelSearch& search() { return m_search; }
    const QuickPanelSearch& search() const { return m_search; }
    const QuickPanelContext& context() const { return m_context; }
    QuickPanelCommands& commands() { return m_commands; }
    const QuickPanelCommands& commands() const { return m_commands; }
    QuickPanelNewLink& newLink() { return m_newLink; }
    const QuickPanelNewLink& newLink() const { return m_newLink; }
    QuickPanelTips& tips() { return m_tips; }
    const QuickPanelTips& tips() const { return m_tips; }

    // None when the panel runs without them; the views read the copy format there.
    AppSettings* preferences() const { return m_services.preferences; }

    // --- A showing of the panel ------------------------------------------------------------------
    // When the panel hides (and the add form's Cancel): back to search mode, then a reload.
    void reset();
    // When the panel shows: in search mode, captures what is in front of the user, clears the query
    // and reloads; in any other mode nothing.
    void refreshActiveContext();
    // Once a second while the panel shows: with an empty query in search mode, captures again and
    // reloads when the contexts' locators or the capture message changed.
    void refreshIfContextChanged();
    // While the panel shows, once the context said what is in front may have changed where its last
    // reading cannot tell: with an empty query in search mode, reads again (a Return meanwhile waits
    // for it) and reloads when the capture changed.
    void refreshAfterShownChange();
    // Every key the panel takes, before it acts on it: an Enter kept until the window in front is
    // read acts only if no other key came meanwhile.
    void noteKeyPress() { m_capture.noteKeyPress(); }

private:
    QuickPanelServices m_services;
    QuickPanelState m_state;
    QuickPanelContext m_context;
    QuickPanelSearch m_search;
    QuickPanelTips m_tips;
    QuickPanelCapture m_capture;
    QuickPanelCommands m_commands;
    QuickPanelNewLink m_newLink;
};

} // namespace morvane
