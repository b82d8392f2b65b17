#pragma once

// Per-device counters (interfaces, disks) turned into the growth of one
// interval. Header only and without Qt: the network helper uses it too.

// How much a counter grew; one that went back (a driver reset, a device
// re-attached, a machine restarted) grew by nothing.
template <typename T> T grewBy(T now, T before) {
    return now >= before ? now - before : T(0);
}

// Calls add(key, now, before) for each device of `now` that `before` has too:
// a device seen for the first time only sets its baseline, and one that
// vanished is forgotten. Summing each device's own growth this way never
// spikes when devices come and go, as the growth of summed totals would.
template <typename Map, typename Add>
void forEachKeptDevice(const Map& before, const Map& now, Add add) {
    for (const auto& [key, counters] : now) {
        const auto old = before.find(key);
        if (old != before.end())
            add(key, counters, old->second);
    }
}
