// Runs deliveries in processes of their own, all let go at one moment, to
// race them as prints started together would.
#ifndef TOLLIVANE_TESTS_SUPPORT_PROCESS_HELPERS_H
#define TOLLIVANE_TESTS_SUPPORT_PROCESS_HELPERS_H

#include <string>

extern const char kDeliverOnceFlag[];

// The child side: waits for the start file, then runs one delivery.
int RunDeliveryChild(const std::string& startFile);

// Starts `count` children, creates the start file, waits for all; returns
// how many ended with exit code 0.
int RaceDeliveries(const std::string& selfPath, int count);

#endif
