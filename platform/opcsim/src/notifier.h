// What a lively group sends on its own (the server's NotifyConfig): at the group's update rate,
// while the group is active, a data change with the items that change on this tick, or a
// keep-alive without items. It runs on the server's clock (ticker.h) and holds no reference on
// the group, so a group goes when its clients let it go, and a notification under way then
// finishes with the subscriptions it started with.
#pragma once

#include "config.h"
#include "subscriptions.h"
#include "ticker.h"

#include <memory>

namespace opcsim {

// Null when the server sends nothing of its own, or no clock could be had.
std::shared_ptr<Ticker> StartNotifier(std::shared_ptr<const ServerConfig> config,
                                      std::shared_ptr<Subscriptions> subscriptions,
                                      DWORD updateRateMs);

// A data change of every `notify` item (client handles from its handleBase) with the values of
// that tick, to every subscriber of the group.
void SendItemChange(const NotifyConfig& notify, Subscriptions& subscriptions, unsigned tick);

// The value an item of that type carries on a tick, different from one tick to the next.
void TickValue(VARTYPE type, unsigned tick, VARIANT& value);

} // namespace opcsim
