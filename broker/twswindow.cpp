// TWS's windows through the installed backend; the null backend.
#include "broker/twswindow.h"

#include <string.h>
#include <strings.h>

#include "platform/services.h"
#include "settings/settings.h"

static int null_is_running(void)
{
    return 1;   // cannot tell without windows: the connection is tried
}

static int null_login(const char*, const char*)
{
    return 0;
}

static int null_launch(void)
{
    return 0;
}

static void null_confirm_dialogs(void)
{
}

const tws_window_backend g_tws_null_window_backend = {
    null_is_running, null_login, null_launch, null_confirm_dialogs,
};
tws_window_backend g_tws_window_backend = g_tws_null_window_backend;

int tws_is_running()
{
    return g_tws_window_backend.is_running ? g_tws_window_backend.is_running() : 0;
}

int tws_login(const char* user, const char* password)
{
    return g_tws_window_backend.login ? g_tws_window_backend.login(user, password) : 0;
}

int tws_launch()
{
    return g_tws_window_backend.launch ? g_tws_window_backend.launch() : 0;
}

void tws_confirm_dialogs()
{
    if (g_tws_window_backend.confirm_dialogs)
        g_tws_window_backend.confirm_dialogs();
}

int tws_host_is_local()
{
    if (strcmp(g_qr_hostname, "127.0.0.1") == 0)
        return 1;
    char name[65] = "";
    kv_computer_name(name, sizeof name);
    return name[0] && strcasecmp(g_qr_hostname, name) == 0;
}
