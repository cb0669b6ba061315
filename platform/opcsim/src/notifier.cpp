#include "notifier.h"

#include <string>
#include <vector>

namespace opcsim {

void TickValue(VARTYPE type, unsigned tick, VARIANT& value) {
    VariantInit(&value);
    switch (type) {
    case VT_I1:
        V_VT(&value) = VT_I1;
        V_I1(&value) = static_cast<CHAR>(tick % 128);
        break;
    case VT_UI1:
        V_VT(&value) = VT_UI1;
        V_UI1(&value) = static_cast<BYTE>(tick);
        break;
    case VT_I2:
        V_VT(&value) = VT_I2;
        V_I2(&value) = static_cast<SHORT>(tick % 32768);
        break;
    case VT_UI2:
        V_VT(&value) = VT_UI2;
        V_UI2(&value) = static_cast<USHORT>(tick);
        break;
    case VT_UI4:
        V_VT(&value) = VT_UI4;
        V_UI4(&value) = tick;
        break;
    case VT_R4:
        V_VT(&value) = VT_R4;
        V_R4(&value) = static_cast<float>(tick) * 0.5f;
        break;
    case VT_R8:
        V_VT(&value) = VT_R8;
        V_R8(&value) = static_cast<double>(tick) * 0.25;
        break;
    case VT_CY:
        V_VT(&value) = VT_CY;
        V_CY(&value).int64 = static_cast<LONGLONG>(tick) * 10000;
        break;
    case VT_DATE:
        V_VT(&value) = VT_DATE;
        V_DATE(&value) = 45000.0 + static_cast<double>(tick) / 86400.0;
        break;
    case VT_BOOL:
        V_VT(&value) = VT_BOOL;
        V_BOOL(&value) = (tick & 1) ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    case VT_BSTR:
        V_VT(&value) = VT_BSTR;
        V_BSTR(&value) = SysAllocString((L"tick " + std::to_wstring(tick)).c_str());
        break;
    default:
        V_VT(&value) = VT_I4;
        V_I4(&value) = static_cast<LONG>(tick);
    }
}

void SendItemChange(const NotifyConfig& notify, Subscriptions& subscriptions, unsigned tick) {
    const DWORD count = static_cast<DWORD>(notify.itemIds.size());
    std::vector<OPCHANDLE> handles(count ? count : 1);
    std::vector<VARIANT> values(count ? count : 1);
    for (VARIANT& value : values)
        VariantInit(&value);
    for (DWORD i = 0; i < count; ++i) {
        handles[i] = notify.handleBase + i;
        TickValue(notify.itemTypes[i], tick, values[i]);
    }
    subscriptions.SendDataChange(count, handles.data(), values.data(), nullptr, nullptr);
    for (VARIANT& value : values)
        VariantClear(&value);
}

std::shared_ptr<Ticker> StartNotifier(std::shared_ptr<const ServerConfig> config,
                                      std::shared_ptr<Subscriptions> subscriptions,
                                      DWORD updateRateMs) {
    if (!config->notify.enabled)
        return nullptr;
    unsigned tick = 0;
    return Ticker::Start(
        config->OwnThreads(), updateRateMs, [config, subscriptions, tick]() mutable {
            const NotifyConfig& notify = config->notify;
            if (!subscriptions->Active())
                return true;
            ++tick;
            const bool changes = !notify.itemIds.empty() && tick % notify.every == 0;
            if (changes)
                SendItemChange(notify, *subscriptions, tick);
            else if (notify.keepAlive) {
                subscriptions->SendDataChange(0, nullptr, nullptr, nullptr, nullptr);
            }
            return notify.ticks == 0 || tick < notify.ticks;
        });
}

} // namespace opcsim
