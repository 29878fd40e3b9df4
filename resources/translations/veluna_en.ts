<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>Veluna</name>
    <message id="about.developed_by">
        <source>Developed by Plenox</source>
        <extracomment>About block of the Settings page, author line under the version</extracomment>
        <translation>Developed by Plenox</translation>
    </message>
    <message id="about.version_label">
        <source>Version %@</source>
        <extracomment>About block of the Settings page; %@ is the version number, e.g. 1.2</extracomment>
        <translation>Version %@</translation>
    </message>
    <message id="accessibility.back">
        <source>Back</source>
        <extracomment>Settings page: accessibility description and tooltip of the back arrow</extracomment>
        <translation>Back</translation>
    </message>
    <message id="accessibility.messages">
        <source>Messages</source>
        <extracomment>Home view: accessibility description and tooltip of the envelope button that opens the messages</extracomment>
        <translation>Messages</translation>
    </message>
    <message id="accessibility.status_icon">
        <source>Veluna status</source>
        <extracomment>Accessibility description of the cup icon in the menu bar / system tray</extracomment>
        <translation>Veluna status</translation>
    </message>
    <message id="app.name">
        <source>Veluna</source>
        <extracomment>Product name: main window title and large name on the home view</extracomment>
        <translation>Veluna</translation>
    </message>
    <message id="awake.assertion_reason_display">
        <source>Veluna is keeping the display on</source>
        <extracomment>Name of the display inhibitor, shown in the system's list of programs keeping the screen on</extracomment>
        <translation>Veluna is keeping the display on</translation>
    </message>
    <message id="awake.assertion_reason_sleep">
        <source>Veluna is keeping the computer awake</source>
        <extracomment>Name of the sleep inhibitor, shown in the system's list of programs preventing sleep</extracomment>
        <translation>Veluna is keeping the computer awake</translation>
    </message>
    <message id="awake.button_start">
        <source>Keep Awake</source>
        <extracomment>Big button on the home view while idle; also first item of the tray menu</extracomment>
        <translation>Keep Awake</translation>
    </message>
    <message id="awake.button_stop">
        <source>Allow Sleep</source>
        <extracomment>Big button on the home view while the computer is kept awake; also first item of the tray menu</extracomment>
        <translation>Allow Sleep</translation>
    </message>
    <message id="awake.custom_hours_minutes_short">
        <source>%lld h %lld min</source>
        <extracomment>Short form of a custom duration; first %lld = hours, second %lld = minutes</extracomment>
        <translation>%lld h %lld min</translation>
    </message>
    <message id="awake.custom_hours_short">
        <source>%lld h</source>
        <extracomment>Short form of a custom duration of whole hours; %lld = hours</extracomment>
        <translation>%lld h</translation>
    </message>
    <message id="awake.custom_minutes_short">
        <source>%lld min</source>
        <extracomment>Short form of a custom duration under one hour (menu item, pop-up entry); %lld = minutes</extracomment>
        <translation>%lld min</translation>
    </message>
    <message id="awake.duration_1_hour">
        <source>1 Hour</source>
        <extracomment>Duration choice (tray menu and Settings pop-up)</extracomment>
        <translation>1 Hour</translation>
    </message>
    <message id="awake.duration_2_hours">
        <source>2 Hours</source>
        <extracomment>Duration choice (tray menu and Settings pop-up)</extracomment>
        <translation>2 Hours</translation>
    </message>
    <message id="awake.duration_30_min">
        <source>30 Minutes</source>
        <extracomment>Duration choice (tray menu and Settings pop-up)</extracomment>
        <translation>30 Minutes</translation>
    </message>
    <message id="awake.duration_4_hours">
        <source>4 Hours</source>
        <extracomment>Duration choice (tray menu and Settings pop-up)</extracomment>
        <translation>4 Hours</translation>
    </message>
    <message id="awake.duration_custom">
        <source>Custom…</source>
        <extracomment>Duration choice that opens the custom-duration dialog (shown while no custom duration is stored)</extracomment>
        <translation>Custom…</translation>
    </message>
    <message id="awake.duration_unlimited">
        <source>Unlimited</source>
        <extracomment>Duration choice (tray menu and Settings pop-up): no time limit</extracomment>
        <translation>Unlimited</translation>
    </message>
    <message id="awake.keep_display_checkbox">
        <source>Keep the display on</source>
        <extracomment>Settings page checkbox (short): also keep the screen from turning off</extracomment>
        <translation>Keep the display on</translation>
    </message>
    <message id="awake.menu_duration_header">
        <source>Duration</source>
        <extracomment>Tray menu: disabled heading above the list of durations</extracomment>
        <translation>Duration</translation>
    </message>
    <message id="awake.status_hours_format">
        <source>Awake — %lld h %lld min left</source>
        <extracomment>Status line while kept awake; first %lld = hours left, second %lld = remaining minutes</extracomment>
        <translation>Awake — %lld h %lld min left</translation>
    </message>
    <message id="awake.status_minutes_format">
        <source>Awake — %lld min left</source>
        <extracomment>Status line while kept awake; %lld = minutes left (below 60)</extracomment>
        <translation>Awake — %lld min left</translation>
    </message>
    <message id="awake.status_normal">
        <source>Your computer can sleep as usual</source>
        <extracomment>Status line under the big button while idle</extracomment>
        <translation>Your computer can sleep as usual</translation>
    </message>
    <message id="awake.status_unlimited">
        <source>Awake — no time limit</source>
        <extracomment>Status line while kept awake with no time limit</extracomment>
        <translation>Awake — no time limit</translation>
    </message>
    <message id="awake.status_while">
        <source>Awake while “%@” runs</source>
        <extracomment>Status line while a command or process started from the command line keeps the computer awake; %@ is its name</extracomment>
        <translation>Awake while “%@” runs</translation>
    </message>
    <message id="cli.alone">
        <source>%@ goes alone, without a command or other options.</source>
        <extracomment>Command line error; %@ is --help or --version</extracomment>
        <translation>%@ goes alone, without a command or other options.</translation>
    </message>
    <message id="cli.bad_duration">
        <source>“%@” is no duration: use unlimited, minutes (90) or hours and minutes (2h, 45m, 1h30m), at most 99h59m.</source>
        <extracomment>Command line error; %@ is what was typed</extracomment>
        <translation>“%@” is no duration: use unlimited, minutes (90) or hours and minutes (2h, 45m, 1h30m), at most 99h59m.</translation>
    </message>
    <message id="cli.bad_extension">
        <source>“%@” is no time to add: use minutes (90) or hours and minutes (2h, 45m, 1h30m), at most 99h59m.</source>
        <extracomment>Command line error; %@ is what was typed after extend</extracomment>
        <translation>“%@” is no time to add: use minutes (90) or hours and minutes (2h, 45m, 1h30m), at most 99h59m.</translation>
    </message>
    <message id="cli.bad_pid">
        <source>“%@” is no process id.</source>
        <extracomment>Command line error; %@ is what was typed after watch</extracomment>
        <translation>“%@” is no process id.</translation>
    </message>
    <message id="cli.bad_time">
        <source>“%@” is no time of day: use HH:MM, from 00:00 to 23:59.</source>
        <extracomment>Command line error; %@ is what was typed after until</extracomment>
        <translation>“%@” is no time of day: use HH:MM, from 00:00 to 23:59.</translation>
    </message>
    <message id="cli.display_conflict">
        <source>Give --display or --no-display, not both.</source>
        <extracomment>Command line error</extracomment>
        <translation>Give --display or --no-display, not both.</translation>
    </message>
    <message id="cli.help">
        <source>Usage: veluna [COMMAND] [OPTIONS]
Keeps the computer awake. Without a command, opens Veluna.

Commands:
  start [DURATION] [--display | --no-display]
                      Stay awake for DURATION (unlimited, 90, 45m, 2h, 1h30m;
                      at most 99h59m), or for the default duration.
  until HH:MM [--display]
                      Stay awake until the clock next shows HH:MM.
  stop                Let the computer sleep again.
  toggle              Start, or stop when awake.
  extend DURATION     Add time to the current period.
  status [--json]     Tell whether the computer is kept awake, and by what.
                      Exit status 0 when awake, 1 when not, 3 when Veluna is
                      not running.
  run [--display] -- COMMAND [ARG...]
                      Stay awake while COMMAND runs; exit with its status.
  watch PID           Stay awake until process PID ends.

Options:
  --display           Keep the screen on too.
  --no-display        Let the screen turn off.
  --json              Answer status as one JSON object.
  -h, --help          Show this help.
  -v, --version       Show the version.</source>
        <extracomment>Command line: the whole --help text; keep the command and option names</extracomment>
        <translation>Usage: veluna [COMMAND] [OPTIONS]
Keeps the computer awake. Without a command, opens Veluna.

Commands:
  start [DURATION] [--display | --no-display]
                      Stay awake for DURATION (unlimited, 90, 45m, 2h, 1h30m;
                      at most 99h59m), or for the default duration.
  until HH:MM [--display]
                      Stay awake until the clock next shows HH:MM.
  stop                Let the computer sleep again.
  toggle              Start, or stop when awake.
  extend DURATION     Add time to the current period.
  status [--json]     Tell whether the computer is kept awake, and by what.
                      Exit status 0 when awake, 1 when not, 3 when Veluna is
                      not running.
  run [--display] -- COMMAND [ARG...]
                      Stay awake while COMMAND runs; exit with its status.
  watch PID           Stay awake until process PID ends.

Options:
  --display           Keep the screen on too.
  --no-display        Let the screen turn off.
  --json              Answer status as one JSON object.
  -h, --help          Show this help.
  -v, --version       Show the version.</translation>
    </message>
    <message id="cli.missing_command">
        <source>Give a command; see veluna --help.</source>
        <extracomment>Command line error: options but no command</extracomment>
        <translation>Give a command; see veluna --help.</translation>
    </message>
    <message id="cli.missing_duration">
        <source>Give the time to add, such as 30m or 1h30m.</source>
        <extracomment>Command line error: extend without a duration</extracomment>
        <translation>Give the time to add, such as 30m or 1h30m.</translation>
    </message>
    <message id="cli.missing_pid">
        <source>Give the process id to watch.</source>
        <extracomment>Command line error: watch without a process id</extracomment>
        <translation>Give the process id to watch.</translation>
    </message>
    <message id="cli.missing_program">
        <source>Give the command to run after --.</source>
        <extracomment>Command line error: run without a command</extracomment>
        <translation>Give the command to run after --.</translation>
    </message>
    <message id="cli.missing_time">
        <source>Give a time of day as HH:MM.</source>
        <extracomment>Command line error: until without a time</extracomment>
        <translation>Give a time of day as HH:MM.</translation>
    </message>
    <message id="cli.no_answer">
        <source>Veluna did not answer: %@</source>
        <extracomment>Command line: the running program gave no answer; %@ is the reason</extracomment>
        <translation>Veluna did not answer: %@</translation>
    </message>
    <message id="cli.no_process">
        <source>No process %@ to watch.</source>
        <extracomment>Command line error: watch of a process that does not exist; %@ is its id</extracomment>
        <translation>No process %@ to watch.</translation>
    </message>
    <message id="cli.no_timed_period">
        <source>No timed period to extend: Veluna is idle or awake with no time limit.</source>
        <extracomment>Command line: extend when there is no timed period</extracomment>
        <translation>No timed period to extend: Veluna is idle or awake with no time limit.</translation>
    </message>
    <message id="cli.not_running">
        <source>Veluna is not running.</source>
        <extracomment>Command line: status, extend or a command needing the program when none runs</extracomment>
        <translation>Veluna is not running.</translation>
    </message>
    <message id="cli.option_not_here">
        <source>The option %@ does not go with this command.</source>
        <extracomment>Command line error; %@ is the option, e.g. --json</extracomment>
        <translation>The option %@ does not go with this command.</translation>
    </message>
    <message id="cli.status_held">
        <source>%@ (held by %@)</source>
        <extracomment>Command line: status line; the first %@ is the status text, the second the service that holds the computer, e.g. logind</extracomment>
        <translation>%@ (held by %@)</translation>
    </message>
    <message id="cli.unexpected_argument">
        <source>Unexpected “%@”.</source>
        <extracomment>Command line error; %@ is an extra argument</extracomment>
        <translation>Unexpected “%@”.</translation>
    </message>
    <message id="cli.unknown_command">
        <source>Unknown command “%@”; see veluna --help.</source>
        <extracomment>Command line error; %@ is what was typed</extracomment>
        <translation>Unknown command “%@”; see veluna --help.</translation>
    </message>
    <message id="cli.unknown_option">
        <source>Unknown option “%@”; see veluna --help.</source>
        <extracomment>Command line error; %@ is the option's name</extracomment>
        <translation>Unknown option “%@”; see veluna --help.</translation>
    </message>
    <message id="common.cancel">
        <source>Cancel</source>
        <extracomment>Button: second button of the problem-report dialog</extracomment>
        <translation>Cancel</translation>
    </message>
    <message id="common.send">
        <source>Send</source>
        <extracomment>Button: sends a problem report or a reply in the messages window</extracomment>
        <translation>Send</translation>
    </message>
    <message id="common.send_failed_title">
        <source>Unable to Send</source>
        <extracomment>Alert title when a problem report or a reply could not be sent</extracomment>
        <translation>Unable to Send</translation>
    </message>
    <message id="edit.copy">
        <source>Copy</source>
        <extracomment>Edit menu item</extracomment>
        <translation>Copy</translation>
    </message>
    <message id="edit.cut">
        <source>Cut</source>
        <extracomment>Edit menu item</extracomment>
        <translation>Cut</translation>
    </message>
    <message id="edit.paste">
        <source>Paste</source>
        <extracomment>Edit menu item</extracomment>
        <translation>Paste</translation>
    </message>
    <message id="edit.redo">
        <source>Redo</source>
        <extracomment>Edit menu item</extracomment>
        <translation>Redo</translation>
    </message>
    <message id="edit.select_all">
        <source>Select All</source>
        <extracomment>Edit menu item</extracomment>
        <translation>Select All</translation>
    </message>
    <message id="edit.undo">
        <source>Undo</source>
        <extracomment>Edit menu item</extracomment>
        <translation>Undo</translation>
    </message>
    <message id="home.hint">
        <source>Set the default duration in Settings</source>
        <extracomment>Home view: small hint at the bottom of the central column</extracomment>
        <translation>Set the default duration in Settings</translation>
    </message>
    <message id="home.subtitle">
        <source>Keeps your computer awake</source>
        <extracomment>Home view: subtitle under the product name</extracomment>
        <translation>Keeps your computer awake</translation>
    </message>
    <message id="menu.check_updates">
        <source>Check for Updates…</source>
        <extracomment>Menu item and Settings page button that checks for a new version now</extracomment>
        <translation>Check for Updates…</translation>
    </message>
    <message id="menu.close">
        <source>Close</source>
        <extracomment>File menu item (Ctrl+W): leaves Settings or closes the window</extracomment>
        <translation>Close</translation>
    </message>
    <message id="menu.edit">
        <source>Edit</source>
        <extracomment>Title of the Edit menu</extracomment>
        <translation>Edit</translation>
    </message>
    <message id="menu.file">
        <source>File</source>
        <extracomment>Title of the File menu</extracomment>
        <translation>File</translation>
    </message>
    <message id="menu.open_app">
        <source>Open Veluna</source>
        <extracomment>Tray menu item that shows the main window</extracomment>
        <translation>Open Veluna</translation>
    </message>
    <message id="menu.quit">
        <source>Quit Veluna</source>
        <extracomment>Menu item that quits the program</extracomment>
        <translation>Quit Veluna</translation>
    </message>
    <message id="menu.report_problem">
        <source>Report a Problem…</source>
        <extracomment>Menu item and Settings page button that opens the problem-report dialog</extracomment>
        <translation>Report a Problem…</translation>
    </message>
    <message id="messages.banner_title">
        <source>Message from Plenox</source>
        <extracomment>Title of the alert showing a new message from the maker; also the menu item that opens the messages window</extracomment>
        <translation>Message from Plenox</translation>
    </message>
    <message id="messages.empty">
        <source>No messages yet</source>
        <extracomment>Messages window: shown when the conversation is empty</extracomment>
        <translation>No messages yet</translation>
    </message>
    <message id="messages.hint">
        <source>Your reply goes to the Plenox team</source>
        <extracomment>Messages window: small note at the bottom left, beside the Send button</extracomment>
        <translation>Your reply goes to the Plenox team</translation>
    </message>
    <message id="messages.plenox_prefix">
        <source>Plenox · </source>
        <extracomment>Messages window: heading of a message from the maker, followed directly by its date; keep the trailing separator and space</extracomment>
        <translation>Plenox · </translation>
    </message>
    <message id="messages.reply_placeholder">
        <source>Write a reply…</source>
        <extracomment>Messages window: placeholder of the reply field</extracomment>
        <translation>Write a reply…</translation>
    </message>
    <message id="messages.send_failed_message">
        <source>Your reply is saved in the conversation but could not be delivered to Plenox. Check your internet connection and try again.</source>
        <extracomment>Informative text of the alert when a reply could not be sent</extracomment>
        <translation>Your reply is saved in the conversation but could not be delivered to Plenox. Check your internet connection and try again.</translation>
    </message>
    <message id="messages.understood_button">
        <source>Got It</source>
        <extracomment>Only button of the new-message alert</extracomment>
        <translation>Got It</translation>
    </message>
    <message id="messages.window_title">
        <source>Messages</source>
        <extracomment>Title of the messages window</extracomment>
        <translation>Messages</translation>
    </message>
    <message id="messages.you_prefix">
        <source>You · </source>
        <extracomment>Messages window: heading of the user's own reply, followed directly by its date; keep the trailing separator and space</extracomment>
        <translation>You · </translation>
    </message>
    <message id="notice.keep_awake_more">
        <source>Keep awake 30 more minutes</source>
        <extracomment>Desktop notice button: start another 30 minutes</extracomment>
        <translation>Keep awake 30 more minutes</translation>
    </message>
    <message id="notice.low_battery_body">
        <source>You let this computer sleep when its battery runs low.</source>
        <extracomment>Desktop notice body: why the period ended (the charge rule)</extracomment>
        <translation>You let this computer sleep when its battery runs low.</translation>
    </message>
    <message id="notice.low_battery_title">
        <source>Keep-awake ended: battery below %lld %%</source>
        <extracomment>Desktop notice title; %lld = the charge limit in percent, %% = the percent sign</extracomment>
        <translation>Keep-awake ended: battery below %lld %%</translation>
    </message>
    <message id="notice.on_battery_body">
        <source>You let this computer sleep when it runs on battery.</source>
        <extracomment>Desktop notice body: why the period ended (the battery rule)</extracomment>
        <translation>You let this computer sleep when it runs on battery.</translation>
    </message>
    <message id="notice.on_battery_title">
        <source>Keep-awake ended: on battery</source>
        <extracomment>Desktop notice title: a period ended because the computer left mains power</extracomment>
        <translation>Keep-awake ended: on battery</translation>
    </message>
    <message id="notice.period_over_body">
        <source>Time is up: this computer may sleep again as usual.</source>
        <extracomment>Desktop notice body: a timed period ran out</extracomment>
        <translation>Time is up: this computer may sleep again as usual.</translation>
    </message>
    <message id="notice.period_over_title">
        <source>Keep-awake period over</source>
        <extracomment>Desktop notice title: a timed period ran out</extracomment>
        <translation>Keep-awake period over</translation>
    </message>
    <message id="onboarding.dock_button">
        <source>Standard App</source>
        <extracomment>First-launch alert: first button, chooses a normal window with a taskbar entry</extracomment>
        <translation>Standard App</translation>
    </message>
    <message id="onboarding.menubar_button">
        <source>Menu Bar Only</source>
        <extracomment>First-launch alert: second button, chooses an icon in the menu bar / tray only</extracomment>
        <translation>Menu Bar Only</translation>
    </message>
    <message id="onboarding.welcome_message">
        <source>How would you like Veluna to appear? As a standard app, it opens a window and has an entry in the taskbar. In menu bar mode, it shows only as an icon in the menu bar or system tray, with no taskbar entry. You can change this at any time in Settings.</source>
        <extracomment>First-launch alert: informative text explaining the two display modes</extracomment>
        <translation>How would you like Veluna to appear? As a standard app, it opens a window and has an entry in the taskbar. In menu bar mode, it shows only as an icon in the menu bar or system tray, with no taskbar entry. You can change this at any time in Settings.</translation>
    </message>
    <message id="onboarding.welcome_title">
        <source>Welcome to Veluna</source>
        <extracomment>First-launch alert: title</extracomment>
        <translation>Welcome to Veluna</translation>
    </message>
    <message id="report.email_placeholder">
        <source>Email address (optional)</source>
        <extracomment>Placeholder of the email field in the problem-report dialog</extracomment>
        <translation>Email address (optional)</translation>
    </message>
    <message id="report.failed_message">
        <source>Your report could not be sent. Check your internet connection and try again.</source>
        <extracomment>Informative text of the alert when a problem report could not be sent</extracomment>
        <translation>Your report could not be sent. Check your internet connection and try again.</translation>
    </message>
    <message id="report.message">
        <source>Describe what happened. The app and system versions are sent with your report. Add your email address if you’d like a reply.</source>
        <extracomment>Informative text of the problem-report dialog, above the text area and the email field</extracomment>
        <translation>Describe what happened. The app and system versions are sent with your report. Add your email address if you’d like a reply.</translation>
    </message>
    <message id="report.sent_message">
        <source>Thank you! Plenox has received your report.</source>
        <extracomment>Informative text of the alert after a problem report was delivered</extracomment>
        <translation>Thank you! Plenox has received your report.</translation>
    </message>
    <message id="report.sent_title">
        <source>Report Sent</source>
        <extracomment>Alert title after a problem report was delivered</extracomment>
        <translation>Report Sent</translation>
    </message>
    <message id="report.title">
        <source>Report a Problem</source>
        <extracomment>Title of the problem-report dialog</extracomment>
        <translation>Report a Problem</translation>
    </message>
    <message id="settings.auto_update">
        <source>Update automatically</source>
        <extracomment>Settings page checkbox (short): check for and install updates automatically</extracomment>
        <translation>Update automatically</translation>
    </message>
    <message id="settings.color_amber">
        <source>Amber</source>
        <extracomment>Icon colour choice</extracomment>
        <translation>Amber</translation>
    </message>
    <message id="settings.color_blue">
        <source>Blue</source>
        <extracomment>Icon colour choice</extracomment>
        <translation>Blue</translation>
    </message>
    <message id="settings.color_green">
        <source>Green</source>
        <extracomment>Icon colour choice</extracomment>
        <translation>Green</translation>
    </message>
    <message id="settings.color_label">
        <source>Icon color while awake</source>
        <extracomment>Settings page: label left of the pop-up choosing the icon colour while awake (short)</extracomment>
        <translation>Icon color while awake</translation>
    </message>
    <message id="settings.color_mauve">
        <source>Mauve</source>
        <extracomment>Icon colour choice</extracomment>
        <translation>Mauve</translation>
    </message>
    <message id="settings.color_red">
        <source>Red</source>
        <extracomment>Icon colour choice</extracomment>
        <translation>Red</translation>
    </message>
    <message id="settings.color_system">
        <source>System</source>
        <extracomment>Icon colour choice: no tint, follows the system theme</extracomment>
        <translation>System</translation>
    </message>
    <message id="settings.custom_cancel">
        <source>Cancel</source>
        <extracomment>Custom-duration dialog: cancel button</extracomment>
        <translation>Cancel</translation>
    </message>
    <message id="settings.custom_help">
        <source>Enter how long to keep the computer awake, up to 99 hours 59 minutes. It also becomes the default duration.</source>
        <extracomment>Custom-duration dialog: informative text above the hours and minutes fields</extracomment>
        <translation>Enter how long to keep the computer awake, up to 99 hours 59 minutes. It also becomes the default duration.</translation>
    </message>
    <message id="settings.custom_hours">
        <source>hours</source>
        <extracomment>Custom-duration dialog: small unit label right of the hours field (very short)</extracomment>
        <translation>hours</translation>
    </message>
    <message id="settings.custom_label">
        <source>Custom Duration</source>
        <extracomment>Custom-duration dialog: title</extracomment>
        <translation>Custom Duration</translation>
    </message>
    <message id="settings.custom_minutes">
        <source>minutes</source>
        <extracomment>Custom-duration dialog: small unit label right of the minutes field (very short)</extracomment>
        <translation>minutes</translation>
    </message>
    <message id="settings.custom_ok">
        <source>OK</source>
        <extracomment>Custom-duration dialog: confirm button</extracomment>
        <translation>OK</translation>
    </message>
    <message id="settings.duration_label">
        <source>Default duration</source>
        <extracomment>Settings page: label left of the default-duration pop-up (short)</extracomment>
        <translation>Default duration</translation>
    </message>
    <message id="settings.launch_at_login">
        <source>Launch at login</source>
        <extracomment>Settings page checkbox (short): start the program when the user logs in</extracomment>
        <translation>Launch at login</translation>
    </message>
    <message id="settings.menu_bar_icon">
        <source>Menu bar mode</source>
        <extracomment>Settings page checkbox (short): run as an icon in the menu bar / tray only, with no taskbar entry</extracomment>
        <translation>Menu bar mode</translation>
    </message>
    <message id="settings.notify_period_end">
        <source>Notify when a period ends</source>
        <extracomment>Settings checkbox: desktop notice when a period ends by itself or by a power rule</extracomment>
        <translation>Notify when a period ends</translation>
    </message>
    <message id="settings.percent_format">
        <source>%lld %%</source>
        <extracomment>Menu entry: a battery charge; %lld = the percentage, %% = the percent sign</extracomment>
        <translation>%lld %%</translation>
    </message>
    <message id="settings.power_title">
        <source>Power</source>
        <extracomment>Settings page: name of the card with the battery rules and the notices</extracomment>
        <translation>Power</translation>
    </message>
    <message id="settings.power_unavailable">
        <source>Battery rules are unavailable on this computer.</source>
        <extracomment>Settings line shown when no battery (or no power service) is found</extracomment>
        <translation>Battery rules are unavailable on this computer.</translation>
    </message>
    <message id="settings.resume_on_mains">
        <source>and resume when plugged in again</source>
        <extracomment>Settings checkbox under the previous one: bring back the period with its time left when mains power returns</extracomment>
        <translation>and resume when plugged in again</translation>
    </message>
    <message id="settings.sleep_below">
        <source>Allow sleep below</source>
        <extracomment>Settings label before a menu of charge levels: end the period on battery below that charge</extracomment>
        <translation>Allow sleep below</translation>
    </message>
    <message id="settings.sleep_below_off">
        <source>Off</source>
        <extracomment>Menu entry: no charge limit</extracomment>
        <translation>Off</translation>
    </message>
    <message id="settings.sleep_on_battery">
        <source>Allow sleep on battery</source>
        <extracomment>Settings checkbox: end the period when the computer leaves mains power</extracomment>
        <translation>Allow sleep on battery</translation>
    </message>
    <message id="settings.title">
        <source>Settings</source>
        <extracomment>Settings page title; also tooltip and accessibility description of the gear button</extracomment>
        <translation>Settings</translation>
    </message>
    <message id="update.available_message">
        <source>Veluna %1$@ is available; you have %2$@.</source>
        <extracomment>Update window, a newer version was found; %1$@ = the new version, %2$@ = the running version</extracomment>
        <translation>Veluna %1$@ is available; you have %2$@.</translation>
    </message>
    <message id="update.available_title">
        <source>A new version of Veluna is available</source>
        <extracomment>Update window title line when a newer version was found</extracomment>
        <translation>A new version of Veluna is available</translation>
    </message>
    <message id="update.cancel">
        <source>Cancel</source>
        <extracomment>Update window button while checking: stops the check</extracomment>
        <translation>Cancel</translation>
    </message>
    <message id="update.checking">
        <source>Checking for updates…</source>
        <extracomment>Update window title line while the update feed is being fetched</extracomment>
        <translation>Checking for updates…</translation>
    </message>
    <message id="update.downloaded_message">
        <source>Veluna %1$@ has been downloaded and verified: %2$@</source>
        <extracomment>Update window, the new version was downloaded and verified; %1$@ = the new version, %2$@ = the full path of the downloaded file</extracomment>
        <translation>Veluna %1$@ has been downloaded and verified: %2$@</translation>
    </message>
    <message id="update.error_insecure">
        <source>Veluna only looks for updates over a secure connection, and %@ is not one.</source>
        <extracomment>Update window error; %@ = the refused web address (not https)</extracomment>
        <translation>Veluna only looks for updates over a secure connection, and %@ is not one.</translation>
    </message>
    <message id="update.error_malformed">
        <source>The update information sent by the server could not be read.</source>
        <extracomment>Update window error: the feed is not a valid update feed</extracomment>
        <translation>The update information sent by the server could not be read.</translation>
    </message>
    <message id="update.error_network">
        <source>The update server could not be reached: %@</source>
        <extracomment>Update window error; %@ = the network error as reported by the system (may be in English)</extracomment>
        <translation>The update server could not be reached: %@</translation>
    </message>
    <message id="update.error_timeout">
        <source>The update server did not answer in time. Please try again later.</source>
        <extracomment>Update window error: the server stopped answering</extracomment>
        <translation>The update server did not answer in time. Please try again later.</translation>
    </message>
    <message id="update.error_title">
        <source>Veluna could not check for updates</source>
        <extracomment>Update window title line when the check failed</extracomment>
        <translation>Veluna could not check for updates</translation>
    </message>
    <message id="update.error_too_large">
        <source>The update information sent by the server is far larger than expected.</source>
        <extracomment>Update window error: the feed exceeds the size limit</extracomment>
        <translation>The update information sent by the server is far larger than expected.</translation>
    </message>
    <message id="update.later">
        <source>Later</source>
        <extracomment>Update window button: closes the window without getting the new version</extracomment>
        <translation>Later</translation>
    </message>
    <message id="update.ok">
        <source>OK</source>
        <extracomment>Update window button: closes the window after the answer or an error</extracomment>
        <translation>OK</translation>
    </message>
    <message id="update.open_download_page">
        <source>Open Download Page</source>
        <extracomment>Update window default button: opens the new version's download page in the browser</extracomment>
        <translation>Open Download Page</translation>
    </message>
    <message id="update.release_notes">
        <source>Release notes</source>
        <extracomment>Update window: heading above the new version's release notes</extracomment>
        <translation>Release notes</translation>
    </message>
    <message id="update.show_in_folder">
        <source>Show in Folder</source>
        <extracomment>Update window default button once the new version is downloaded: opens its folder</extracomment>
        <translation>Show in Folder</translation>
    </message>
    <message id="update.up_to_date_message">
        <source>Veluna %@ is the newest version available.</source>
        <extracomment>Update window, no newer version; %@ = the running version</extracomment>
        <translation>Veluna %@ is the newest version available.</translation>
    </message>
    <message id="update.up_to_date_title">
        <source>You’re up to date</source>
        <extracomment>Update window title line when no newer version exists</extracomment>
        <translation>You’re up to date</translation>
    </message>
    <message id="update.window_title">
        <source>Software Update</source>
        <extracomment>Title of the update window</extracomment>
        <translation>Software Update</translation>
    </message>
    <message id="holder.line_format">
        <source>Held by %@</source>
        <extracomment>Home view and tray tooltip while awake; %@ = the service holding the computer awake</extracomment>
        <translation>Held by %@</translation>
    </message>
    <message id="holder.line_screen_format">
        <source>Held by %@, which keeps the screen on too</source>
        <extracomment>As holder.line_format, where that service also keeps the screen on; %@ = the service</extracomment>
        <translation>Held by %@, which keeps the screen on too</translation>
    </message>
    <message id="holder.refused">
        <source>This desktop offers no way to keep the computer awake</source>
        <extracomment>Home view, after pressing the button when no desktop service accepts the request</extracomment>
        <translation>This desktop offers no way to keep the computer awake</translation>
    </message>
    <message id="holder.service_session_manager">
        <source>the session manager</source>
        <extracomment>Name of a desktop service, filled into holder.line_format</extracomment>
        <translation>the session manager</translation>
    </message>
    <message id="holder.service_power_manager">
        <source>the power manager</source>
        <extracomment>Name of a desktop service, filled into holder.line_format</extracomment>
        <translation>the power manager</translation>
    </message>
    <message id="holder.service_screensaver">
        <source>the screensaver</source>
        <extracomment>Name of a desktop service, filled into holder.line_format</extracomment>
        <translation>the screensaver</translation>
    </message>
    <message id="holder.service_portal">
        <source>the desktop portal</source>
        <extracomment>Name of a desktop service, filled into holder.line_format</extracomment>
        <translation>the desktop portal</translation>
    </message>
    <message id="holder.service_logind">
        <source>systemd-logind</source>
        <extracomment>Name of a desktop service, filled into holder.line_format</extracomment>
        <translation>systemd-logind</translation>
    </message>
    <message id="settings.cannot_save_format">
        <source>Settings cannot be saved to %@</source>
        <extracomment>Home view, once saving the settings file fails; %@ = the file path</extracomment>
        <translation>Settings cannot be saved to %@</translation>
    </message>
</context>
</TS>
