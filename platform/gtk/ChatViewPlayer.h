#pragma once
// The Flash player of the chat view: WebKitGTK plays no Flash, so the view
// carries the bundled Ruffle emulator the way a browser carries a plug-in.
// Every page of the view gets a script that gives each rendered Flash
// <object>/<embed> a player inside it (as the element's fallback content, so
// the site's elements keep their tag, id and parameters), and takes the player
// away again when the element stops being rendered.

#include <webkit2/webkit2.h>

#include <string>

namespace gtkui {

// The player's folder inside the application folder.
inline constexpr const char* PlayerFolder = "flashplayer";

// True when playerRoot holds the player (its loader script).
bool havePlayer(const std::string& playerRoot);

// The script that gives a page its players, loading the player from the
// client's resource scheme (benchmarks run it in other hosts).
std::string chatViewPlayerScript();

// Adds the player to every page of the view with this content manager.
void addChatViewPlayer(WebKitUserContentManager* content);

// Holds the chat view's players (paused where they are) while no one can see
// them: while the window is minimised or withdrawn, as its window-state events
// tell, or while another view is in front of the chat view, as the host says.
// They play on when the chat view is seen again. Each new page of the view is
// told the hold as it is committed. Either widget may go first: a gone one is
// no longer watched.
class ChatPlayerHold {
public:
    // The view starts covered (it is made behind the start view).
    ChatPlayerHold(GtkWindow* window, WebKitWebView* chatView);
    ~ChatPlayerHold();
    ChatPlayerHold(const ChatPlayerHold&) = delete;
    ChatPlayerHold& operator=(const ChatPlayerHold&) = delete;

    void setCovered(bool covered);
    bool held() const { return hidden_ || covered_; }

private:
    static gboolean onWindowState(GtkWidget*, GdkEventWindowState* event, gpointer self);
    static void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self);
    void update();
    void tellPage();

    GtkWindow* window_;
    WebKitWebView* view_;
    bool hidden_ = false, covered_ = true;
    bool told_ = false;  // what the page was last told
};

}  // namespace gtkui
