#include "user_play.h"

#include "account/login_dialog.h"
#include "billing_sim.h"
#include "common/heap_text.h"
#include "common/texts.h"
#include "pty_terminal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

Played play(int (*call)(WindowHandle), const LoginAnswer* answer)
{
    PtyTerminal terminal;
    terminal.start([call, answer] {
        FILE* printed = tmpfile();
        dup2(fileno(printed), 1);
        dup2(fileno(printed), 2);
        set_login_remember(answer != nullptr && answer->remember);
        int result = call(nullptr);
        fflush(stdout);
        fflush(stderr);
        std::string box(4096, '\0');
        box.resize(pread(fileno(printed), &box[0], box.size(), 0) > 0 ? strlen(box.c_str()) : 0);
        return std::to_string(result) + (credentials_wiped() ? " wiped\n" : " kept\n") + box;
    });
    if (answer == nullptr) {
        close(terminal.master);  // reading the terminal ends at once
        terminal.master = -1;
    } else if (answer->number == nullptr) {
        EXPECT_TRUE(terminal.wait_for("Номер договора: "));
        terminal.type("\x04");
    } else {
        terminal.answer(answer->number, answer->password);
    }
    std::string reply = terminal.result();
    size_t line_end = reply.find('\n');
    Played played = {-100, "", false};
    if (line_end != std::string::npos) {
        played.result = atoi(reply.c_str());
        played.wiped = reply.compare(line_end - 5, 5, "wiped") == 0;
        played.box = reply.substr(line_end + 1);
        if (!played.box.empty() && played.box.back() == '\n') {
            played.box.pop_back();
        }
    }
    return played;
}

std::string catalogue_utf8(unsigned id)
{
    setlocale(LC_ALL, "ru_RU.UTF-8");
    char* text = load_text(id);
    std::string copy = text != nullptr ? text : "";
    free_text(text);
    setlocale(LC_ALL, "C");
    return copy;
}

bool can_play()
{
    return true;
}
