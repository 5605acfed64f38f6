#pragma once
// The router's views outside its main window: the tray icon and the desktop
// notices. Each subscribes to the router's Monitor; one router, one of each.
// Their owner attaches them once, beside the main window, for every router.

namespace veltrum {

class Monitor;
class TFormGlowny;
class TrayView;
class NoticeView;

// The tray icon of `monitor`'s router, shown while its profile asks for it
// (PokazIkone) and the desktop has a tray; a left click shows or hides
// `glowny`, its menu is the main window's. Owned by `glowny`.
TrayView* AttachTray(Monitor& monitor, TFormGlowny& glowny);

// The desktop notices of `monitor`'s router: the agent's outages, the rate
// alarms and the quota's thresholds; an outage is announced once the agent
// has not answered for `outageSeconds`. Owned by `glowny`.
NoticeView* AttachNotifier(Monitor& monitor, TFormGlowny& glowny, int outageSeconds = 30);
// How long the agent must stay silent before its outage is announced.
void SetOutageSeconds(NoticeView& notices, int outageSeconds);

} // namespace veltrum
