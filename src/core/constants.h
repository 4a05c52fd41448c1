// Constants every layer shares: the simulation tick, the rider slots and the unit conversions
// of what the player is shown.
#pragma once

// The fixed simulation step: every race, demo, snapshot and network time counts these ticks.
constexpr double sim_tick = 1.0 / 128.0;
constexpr int TICKS_PER_SECOND = 128;

// Rider slots of a race session, 0..39; NO_SLOT (40) means none.
constexpr int MAX_RIDERS = 40;
constexpr int NO_SLOT = 40;

// Shown speeds are miles per hour, engine speeds revolutions per minute.
constexpr double MPH_PER_FOOT_PER_SECOND = 0.6818181818181819;
constexpr double RPM_PER_RADIAN_PER_SECOND = 9.549296585513721;
// Gravity along -y (feet per second squared).
constexpr double GRAVITY = 32.0;
