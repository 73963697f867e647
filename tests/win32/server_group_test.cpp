// The WEATHER SERVER SETUP group in the running shell under Wine: the
// "Auto Upload" switch, success reports and status ticks, the service
// switch, and a station body turned into a request for a local server.
// Sockets first: winsock2.h must come before windows.h.
#include "local_server.h"

#include <gtest/gtest.h>

#include <string>

#include "ui/app_state.h"
#include "ui/languages_win32.h"
#include "ui/pages_win32.h"
#include "app/shell_win32.h"
#include "live/dashboard_win32.h"
#include "message_window.h"
#include "resources/resource.h"
#include "settings/server_group_win32.h"
#include "settings/settings_store_win32.h"
#include "settings/upload_state.h"
#include "station/link_state.h"
#include "station/messages.h"
#include "upload/request.h"

namespace {

std::wstring text_of(int control)
{
    wchar_t text[300] = {};
    GetDlgItemTextW(setup_page, control, text, 300);
    return text;
}

bool visible(int control)
{
    return (GetWindowLongW(GetDlgItem(setup_page, control), GWL_STYLE) & WS_VISIBLE) != 0;
}

bool enabled(int control)
{
    return IsWindowEnabled(GetDlgItem(setup_page, control)) != 0;
}

// Whether the page's ten-minute timer `id` runs; it no longer does after.
bool timer_running(int id)
{
    return KillTimer(setup_page, id) != 0;
}

bool ticked()
{
    return IsDlgButtonChecked(setup_page, IDC_AUTO_UPLOAD) == BST_CHECKED;
}

HICON shown_icon()
{
    return reinterpret_cast<HICON>(
        SendDlgItemMessageW(setup_page, IDC_UPLOAD_ICON, STM_GETICON, 0, 0));
}

// The user clicking the check box: it toggles, then the page hears of it.
void click_auto_upload()
{
    CheckDlgButton(setup_page, IDC_AUTO_UPLOAD, ticked() ? BST_UNCHECKED : BST_CHECKED);
    SendMessageW(setup_page, WM_COMMAND, MAKEWPARAM(IDC_AUTO_UPLOAD, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(setup_page, IDC_AUTO_UPLOAD)));
}

void choose_service(int service)
{
    SendDlgItemMessageW(setup_page, IDC_SERVICE, CB_SETCURSEL, service, 0);
    SendMessageW(setup_page, WM_COMMAND, MAKEWPARAM(IDC_SERVICE, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(setup_page, IDC_SERVICE)));
}

void type_credentials(const wchar_t *id, const wchar_t *key)
{
    SetDlgItemTextW(setup_page, IDC_STATION_ID, id);
    SetDlgItemTextW(setup_page, IDC_STATION_KEY, key);
}

// The worker's success report for a request of the service's current round.
void report(int service)
{
    SendMessageW(setup_page, service == 0 ? UM_WU_UPLOAD_OK : UM_WC_UPLOAD_OK, upload_round[service], 0);
}

void expect_status(const char *when, int shown)
{
    SCOPED_TRACE(when);
    EXPECT_EQ(visible(IDC_UPLOAD_ICON), shown != 0);
    EXPECT_EQ(visible(IDC_UPLOAD_TEXT), shown != 0);
    if (shown) {
        EXPECT_EQ(text_of(IDC_UPLOAD_TEXT), ui_text(shown == 1 ? 35 : 36));
        EXPECT_EQ(shown_icon(), shown == 1 ? upload_ok_icon : upload_fail_icon);
    }
}

class ServerGroup : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        start_sockets();
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Corvalen");
        // Long after boot, whatever the machine's uptime: Weathercloud's
        // first upload is not held back.
        upload_clock.tick = [](void *) -> std::uint32_t { return 0x40000000; };
        HINSTANCE instance = GetModuleHandleW(nullptr);
        ASSERT_TRUE(register_main_window_class(instance));
        ASSERT_TRUE(init_instance(instance, SW_SHOW));
    }
    static void TearDownTestSuite()
    {
        if (IsWindow(main_window))
            DestroyWindow(main_window);
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Corvalen");
    }
    void SetUp() override
    {
        // Every case starts from a disconnection's clean slate, connected.
        choose_service(0);
        setup_page_reset_on_disconnect(setup_page);
        link_flags.connected = 1;
    }
};
} // namespace

TEST_F(ServerGroup, TickingWithAnEmptyBoxUnticksAndHidesTheStatus)
{
    upload_state.upload_status[0] = 2;
    ShowWindow(GetDlgItem(setup_page, IDC_UPLOAD_ICON), SW_SHOW);
    ShowWindow(GetDlgItem(setup_page, IDC_UPLOAD_TEXT), SW_SHOW);
    for (auto [id, key] : {std::pair{L"id", L""}, std::pair{L"", L"key"}}) {
        type_credentials(id, key);
        click_auto_upload();
        EXPECT_FALSE(ticked());
        EXPECT_EQ(upload_state.auto_upload[0], 0);
        EXPECT_EQ(upload_state.upload_status[0], 0);
        expect_status("after the refused tick", 0);
        EXPECT_TRUE(enabled(IDC_STATION_ID));
    }
}

TEST_F(ServerGroup, TickStoresCredentialsAndLocksTheBoxes)
{
    type_credentials(L"KSTATION1", L"pass word&1");
    click_auto_upload();
    EXPECT_TRUE(ticked());
    EXPECT_EQ(upload_state.auto_upload[0], 1);
    EXPECT_EQ(upload_state.auto_upload[1], 0);
    EXPECT_FALSE(enabled(IDC_STATION_ID));
    EXPECT_FALSE(enabled(IDC_STATION_KEY));
    wchar_t id[64] = {}, key[64] = {};
    read_setting_id(id);
    read_setting_key(key);
    EXPECT_STREQ(id, L"KSTATION1");
    EXPECT_STREQ(key, L"pass word&1");
    expect_status("ticking shows nothing yet", 0);

    // Unticking: everything off, boxes editable, the stored texts stay.
    upload_state.upload_ok_count[0] = 3;
    click_auto_upload();
    EXPECT_EQ(upload_state.auto_upload[0], 0);
    EXPECT_EQ(upload_state.upload_ok_count[0], 0);
    EXPECT_TRUE(enabled(IDC_STATION_ID));
    read_setting_id(id);
    EXPECT_STREQ(id, L"KSTATION1");
}

TEST_F(ServerGroup, ReportsAndTicksMakeUploadAndFail)
{
    type_credentials(L"id", L"key");
    click_auto_upload();

    // A ten-minute interval without a positive reply ends in FAIL.
    SendMessageW(setup_page, WM_TIMER, 1, 0);
    EXPECT_EQ(upload_state.upload_status[0], 2);
    expect_status("tick without reports", 2);

    // The first reply after it shows UPLOAD at once; more only count.
    report(0);
    expect_status("first report", 1);
    report(0);
    EXPECT_EQ(upload_state.upload_ok_count[0], 2);

    SendMessageW(setup_page, WM_TIMER, 1, 0);
    EXPECT_EQ(upload_state.upload_ok_count[0], 0);
    expect_status("tick after reports", 1);

    // Ticks count only while the console is connected.
    link_flags.connected = 0;
    SendMessageW(setup_page, WM_TIMER, 1, 0);
    expect_status("tick while disconnected", 1);
}

TEST_F(ServerGroup, TheOtherServicesReportsWaitForTheSwitch)
{
    upload_state.auto_upload[1] = 1;
    report(1);
    EXPECT_EQ(upload_state.upload_status[1], 1);
    expect_status("Weathercloud report while Weather Underground is in view", 0);
    SendMessageW(setup_page, WM_TIMER, 2, 0);
    SendMessageW(setup_page, WM_TIMER, 2, 0);
    EXPECT_EQ(upload_state.upload_status[1], 2);
    choose_service(1);
    expect_status("Weathercloud in view", 2);
    EXPECT_EQ(text_of(IDC_STATION_ID_LABEL), ui_text(31));
}

TEST_F(ServerGroup, SwitchingServiceAndBackRestoresItsState)
{
    wchar_t stored_id1[64] = L"cloud-id", stored_key1[64] = L"cloud-key";
    write_setting_id1(stored_id1);
    write_setting_key1(stored_key1);
    type_credentials(L"wu-id", L"wu-key");
    click_auto_upload();
    report(0);

    choose_service(1);
    EXPECT_EQ(upload_service, 1);
    EXPECT_EQ(text_of(IDC_STATION_ID), L"cloud-id");
    EXPECT_EQ(text_of(IDC_STATION_KEY), L"cloud-key");
    EXPECT_FALSE(ticked());
    EXPECT_TRUE(enabled(IDC_STATION_ID));
    expect_status("Weathercloud has no status", 0);
    EXPECT_EQ(upload_state.auto_upload[0], 1);

    // Typed but not ticked: lost by the switch.
    type_credentials(L"typed", L"typed");
    choose_service(0);
    EXPECT_EQ(text_of(IDC_STATION_ID), L"wu-id");
    EXPECT_TRUE(ticked());
    EXPECT_FALSE(enabled(IDC_STATION_ID));
    expect_status("Weather Underground's UPLOAD is back", 1);
    choose_service(1);
    EXPECT_EQ(text_of(IDC_STATION_ID), L"cloud-id");
}

TEST_F(ServerGroup, BodiesBecomeRequestsWithTheRightCredentials)
{
    LocalServer server;
    server.reply = "HTTP/1.0 200 OK\r\n\r\nsuccess\n";
    start(server, 1);

    type_credentials(L"KBOX", L"box-key");
    click_auto_upload(); // stores "Id" and "Key"
    choose_service(1);   // Weathercloud in view: boxes show other texts
    type_credentials(L"not", L"these");

    char body[UPLOAD_BODY_BYTES] = "tempf=46.8";
    // Weathercloud is off: its body is dropped without a request.
    SendMessageW(dashboard_page, UM_WC_BODY, 0, reinterpret_cast<LPARAM>(body));
    SendMessageW(dashboard_page, UM_WU_BODY, 0, reinterpret_cast<LPARAM>(body));
    EXPECT_TRUE(pump_until([] { return upload_state.upload_ok_count[0] == 1; }, 15000));
    stop(server);
    ASSERT_EQ(server.received.size(), 1u);
    EXPECT_EQ(server.received[0],
              std::string("GET /weatherstation/updateweatherstation.php?ID=KBOX&PASSWORD=box-key&"
                          "tempf=46.8&softwaretype=vws%20versionxx&action=updateraw&realtime=1&"
                          "rtfreq=2.5 HTTP/1.0\r\nHost:  rtupdate.wunderground.com\r\n\r\n") +
                  std::string(1, '\0'));
    EXPECT_EQ(upload_state.upload_status[0], 1);
    expect_status("Weathercloud in view", 0);
}

TEST_F(ServerGroup, RepliesToWhatNoLongerCountsShowNothing)
{
    type_credentials(L"id", L"key");
    click_auto_upload();
    const unsigned first = upload_round[0];
    click_auto_upload(); // off and on again
    click_auto_upload();
    SendMessageW(setup_page, UM_WU_UPLOAD_OK, first, 0);
    expect_status("a reply to a request from before the switch", 0);
    EXPECT_EQ(upload_state.upload_ok_count[0], 0);

    const unsigned on = upload_round[0];
    click_auto_upload(); // off
    SendMessageW(setup_page, UM_WU_UPLOAD_OK, on, 0);
    EXPECT_EQ(upload_state.upload_status[0], 0) << "a reply after Auto Upload went off";

    click_auto_upload();
    const unsigned before_disconnect = upload_round[0];
    setup_page_reset_on_disconnect(setup_page);
    link_flags.connected = 1;
    type_credentials(L"id", L"key");
    click_auto_upload();
    SendMessageW(setup_page, UM_WU_UPLOAD_OK, before_disconnect, 0);
    expect_status("a reply to a request from before a disconnect", 0);
}

TEST_F(ServerGroup, TimersFollowTheSwitchAndTheConnection)
{
    type_credentials(L"id", L"key");
    click_auto_upload();
    EXPECT_TRUE(timer_running(1));
    EXPECT_FALSE(timer_running(2));

    click_auto_upload(); // off
    click_auto_upload(); // on again: a fresh timer
    click_auto_upload(); // off kills it
    EXPECT_FALSE(timer_running(1));

    // Turned on while the console is away: the timer starts at the connect.
    link_flags.connected = 0;
    click_auto_upload();
    EXPECT_FALSE(timer_running(1));
    link_flags.connected = 1;
    server_group_connected(setup_page);
    report(0);
    // A second notice of the same connection changes no timer.
    server_group_connected(setup_page);
    EXPECT_EQ(upload_state.upload_ok_count[0], 1) << "the running count was zeroed";
    EXPECT_TRUE(timer_running(1));
    click_auto_upload();

    // Both on, then the console goes: both timers are killed.
    link_flags.connected = 1;
    click_auto_upload();
    choose_service(1);
    type_credentials(L"cid", L"ckey");
    click_auto_upload();
    setup_page_reset_on_disconnect(setup_page);
    EXPECT_FALSE(timer_running(1));
    EXPECT_FALSE(timer_running(2));
}

TEST_F(ServerGroup, BothSwitchesOnGiveOneRequestPerBody)
{
    LocalServer server;
    server.reply = "HTTP/1.0 200 OK\r\n\r\n200 success";
    start(server, 2);
    type_credentials(L"K 1&2", L"p&w#d");
    click_auto_upload();
    choose_service(1);
    type_credentials(L"cid", L"ckey");
    click_auto_upload();

    char wu_body[UPLOAD_BODY_BYTES] = "tempf=46.8";
    char wc_body[UPLOAD_BODY_BYTES] = "/temp/80";
    SendMessageW(dashboard_page, UM_WU_BODY, 0, reinterpret_cast<LPARAM>(wu_body));
    SendMessageW(dashboard_page, UM_WC_BODY, 0, reinterpret_cast<LPARAM>(wc_body));
    EXPECT_TRUE(pump_until(
        [] { return upload_state.upload_ok_count[0] == 1 && upload_state.upload_ok_count[1] == 1; },
        15000));
    stop(server);
    ASSERT_EQ(server.received.size(), 2u);
    EXPECT_EQ(server.received[0].rfind("GET /weatherstation/updateweatherstation.php?ID=K%201%262"
                                       "&PASSWORD=p%26w%23d&tempf=46.8&",
                                       0),
              0u);
    EXPECT_EQ(server.received[1].rfind("GET /v01/set/wid/cid/key/ckey/temp/80 HTTP/1.0\r\n", 0), 0u);
}
