// Bike state snapshots: the 39-byte layout written out byte by byte from the field formulas,
// clamping, the drive byte's crash countdown and gear coding, version 4 and 5 decoding, the
// interpolation's wrap and quaternion rules, and the per-slot history lookup.
#include <gtest/gtest.h>
#include <ode/ode.h>

#include <cmath>
#include <cstring>

#include "core/settings.h"
#include "bike/bike.h"
#include "bike/world.h"
#include "race/session.h"
#include "replay/snapshot.h"
#include "support/test_env.h"
#include "track/terrain.h"

namespace {

const double PI = 3.14159265358979323846;
const float EXTENT = 2048, MIN_HEIGHT = -20;

typedef uint8_t Record[SNAPSHOT_SIZE];

// Little-endian byte writers of the test's own.
void le24(uint8_t* p, unsigned v) {
    p[0] = v & 255;
    p[1] = (v >> 8) & 255;
    p[2] = (v >> 16) & 255;
}
void le16(uint8_t* p, unsigned v) {
    p[0] = v & 255;
    p[1] = (v >> 8) & 255;
}
unsigned rd16(const uint8_t* p) {
    return p[0] + 256u * p[1];
}
unsigned rd24(const uint8_t* p) {
    return p[0] + 256u * p[1] + 65536u * p[2];
}

double clampv(double v, double lo, double hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}
unsigned quat_code(double c) {
    return (unsigned)floor((clampv(c, -1, 1) + 1) / 2 * 65535);
}

class Snapshot : public ::testing::Test {
  protected:
    void SetUp() override {
        g_settings.headless = 1;
        bikes_reset();
        physics_open();
        g_terrain.extent = EXTENT;
        g_terrain.min_height = MIN_HEIGHT;
        snapshot_history_reset();
    }
    void TearDown() override {
        for (Bike* b : bikes) bike_free(b);
        terrain_free(&g_terrain);
        snapshot_history_reset();
        physics_close_contacts();
        physics_close_world();
        g_settings.headless = 0;
    }
    Bike* load() {
        Bike* b = bike_load("crf250(2009)", 1, "7", nullptr, nullptr, nullptr, nullptr);
        EXPECT_NE(b, nullptr);
        bikes.push_back(b);
        return b;
    }
    std::vector<Bike*> bikes;
};

// Turns a body about a world axis through its own centre.
void turn_body(dBodyID body, double ax, double ay, double az, double angle) {
    dMatrix3 r, out;
    dRFromAxisAndAngle(r, ax, ay, az, angle);
    dMultiply0_333(out, r, dBodyGetRotation(body));
    dBodySetRotation(body, out);
}

} // namespace

TEST_F(Snapshot, PackedRecordMatchesTheFieldFormulasByteByByte) {
    Bike* b = load();
    const float axis[3] = {0, 1, 0};
    bike_rotate(b, axis, 0.7f);
    bike_translate(b, 700.25f, 31.5f, 1200.75f);
    // Joint states: every field gets its own value so that a swapped field shows.
    dBodySetPosition(b->bodies[BODY_RIDER], dBodyGetPosition(b->bodies[BODY_RIDER])[0] + 0.5,
                     dBodyGetPosition(b->bodies[BODY_RIDER])[1] - 0.25,
                     dBodyGetPosition(b->bodies[BODY_RIDER])[2] + 1.0);
    turn_body(b->bodies[BODY_RIDER], 1, 0, 0, 0.4);
    turn_body(b->bodies[BODY_FRONT_WHEEL], cos(0.7), 0, -sin(0.7), 1.0);
    turn_body(b->bodies[BODY_REAR_WHEEL], cos(0.7), 0, -sin(0.7), -2.0);
    EXPECT_NEAR(fabs(dJointGetHingeAngle(b->joints[JOINT_REAR_AXLE])), 2.0, 1e-6);
    // Compress swingarm and fork a little (their readings are negative when compressed).
    turn_body(b->bodies[BODY_SWINGARM], cos(0.7), 0, -sin(0.7), -0.1);
    if (dJointGetHingeAngle(b->joints[JOINT_SWINGARM_PIVOT]) > 0)
        turn_body(b->bodies[BODY_SWINGARM], cos(0.7), 0, -sin(0.7), 0.2);
    dVector3 steer_axis;
    dJointGetHingeAxis(b->joints[JOINT_STEERING_HEAD], steer_axis);
    turn_body(b->bodies[BODY_STEERING], steer_axis[0], steer_axis[1], steer_axis[2], 0.3);
    const dReal* at = dBodyGetPosition(b->bodies[BODY_FORK_LOWER]);
    const double fl[3] = {at[0], at[1], at[2]};
    dVector3 fork_axis;
    dJointGetSliderAxis(b->joints[JOINT_FORK], fork_axis);
    for (double along : {-0.2, 0.2}) {
        dBodySetPosition(b->bodies[BODY_FORK_LOWER], fl[0] + along * fork_axis[0],
                         fl[1] + along * fork_axis[1], fl[2] + along * fork_axis[2]);
        if (dJointGetSliderPosition(b->joints[JOINT_FORK]) < 0) break;
    }
    b->gear = 3;
    b->throttle = 0.7f;
    b->crash_blend = 0.2f;
    b->crash_countdown = 0;
    b->engine_speed = 800;

    // The joint readings the record is built from, each clearly inside its range.
    double steer = dJointGetHingeAngle(b->joints[JOINT_STEERING_HEAD]);
    double swing = dJointGetHingeAngle(b->joints[JOINT_SWINGARM_PIVOT]);
    double fork = dJointGetSliderPosition(b->joints[JOINT_FORK]);
    double front = dJointGetHingeAngle(b->joints[JOINT_FRONT_AXLE]);
    double rear = dJointGetHingeAngle(b->joints[JOINT_REAR_AXLE]);
    EXPECT_NEAR(fabs(steer), 0.3, 1e-6);
    EXPECT_NEAR(fabs(front), 1.0, 1e-6);
    EXPECT_NEAR(fabs(rear), 2.0, 0.1 + 1e-6); // the swingarm turned with it
    ASSERT_LT(swing, 0);
    ASSERT_LT(fork, 0);

    Record expect;
    memset(expect, 0xEE, sizeof expect);
    const dReal* p = dBodyGetPosition(b->bodies[BODY_FRAME]);
    le24(expect + 0, (unsigned)floor(p[0] / EXTENT * 16777215));
    le24(expect + 3, (unsigned)floor((p[1] - MIN_HEIGHT) / EXTENT * 16777215));
    le24(expect + 6, (unsigned)floor(p[2] / EXTENT * 16777215));
    const dReal* q = dBodyGetQuaternion(b->bodies[BODY_FRAME]);
    EXPECT_NEAR(q[0], cos(0.35), 1e-6);
    EXPECT_NEAR(q[2], sin(0.35), 1e-6);
    for (int k = 0; k < 4; k++) le16(expect + 9 + 2 * k, quat_code(q[k]));
    expect[17] = (uint8_t)floor((steer + PI / 4) * (2 / PI) * 255);
    double ts = b->info.swingarm_travel, tf = b->info.fork_travel;
    expect[18] = (uint8_t)floor((clampv(swing, -ts, 0) + ts) / ts * 255);
    expect[19] = (uint8_t)floor((clampv(fork, -tf, 0) + tf) / tf * 255);
    const dReal* r = dBodyGetPosition(b->bodies[BODY_RIDER]);
    for (int k = 0; k < 3; k++)
        le16(expect + 20 + 2 * k, (unsigned)floor((r[k] - p[k] + 16) * 0.03125 * 65535));
    const dReal* rq = dBodyGetQuaternion(b->bodies[BODY_RIDER]);
    for (int k = 0; k < 4; k++) le16(expect + 26 + 2 * k, quat_code(rq[k]));
    expect[34] = (uint8_t)floor((front + PI) * (1 / (2 * PI)) * 255);
    expect[35] = (uint8_t)floor((rear + PI) * (1 / (2 * PI)) * 255);
    expect[36] = 3 | 1 << 3 | 10 << 4; // gear 3, foot down, trunc(0.7 x 15) = 10
    le16(expect + 37, (unsigned)floor(800 * 9.549296585513721 / 32768 * 65535));

    Record out;
    memset(out, 0x55, sizeof out);
    snapshot_pack(b, out);
    for (int i = 0; i < SNAPSHOT_SIZE; i++) EXPECT_EQ(out[i], expect[i]) << "byte " << i;
}

TEST_F(Snapshot, PackClampsEveryFieldToItsRange) {
    Bike* b = load();
    // Beyond the square on x, before it on z, above the height range.
    bike_translate(b, 5000, 5000, -300);
    const dQuaternion identity = {1, 0, 0, 0};
    for (int i = 0; i < BIKE_BODY_COUNT; i++) dBodySetQuaternion(b->bodies[i], identity);
    b->engine_speed = 1e6f;
    b->throttle = 3;
    b->gear = 9;
    b->crash_blend = 0;
    Record out;
    snapshot_pack(b, out);
    EXPECT_EQ(rd24(out + 0), 16777215u);
    EXPECT_EQ(rd24(out + 3), 16777215u);
    EXPECT_EQ(rd24(out + 6), 0u);
    EXPECT_EQ(rd16(out + 9), 65535u);  // w = 1
    EXPECT_EQ(rd16(out + 11), 32767u); // x = 0 -> floor(32767.5)
    EXPECT_EQ(rd16(out + 37), 65535u);
    EXPECT_EQ(out[36], 6 | 15 << 4); // gear 6 at most, throttle 15 at most, no foot bit

    // Below the lowest height, the rider far off, a negative engine speed.
    bike_translate(b, 0, -10000, 0);
    dBodySetPosition(b->bodies[BODY_RIDER], 0, 1e5, 0);
    b->engine_speed = -50;
    b->throttle = -1;
    b->gear = -2;
    snapshot_pack(b, out);
    EXPECT_EQ(rd24(out + 3), 0u);
    EXPECT_EQ(rd16(out + 22), 65535u); // rider offset y clamped to +16
    EXPECT_EQ(rd16(out + 37), 0u);
    EXPECT_EQ(out[36], 0);
}

TEST_F(Snapshot, CrashCountdownCoding) {
    Bike* b = load();
    Record out;
    // (countdown x 15 - 15) / 127, at most 15.
    struct {
        int countdown;
        int level;
    } cases[] = {{512, 15}, {1, 0}, {128, 15}, {127, 14}, {100, 11}, {9, 0}, {10, 1}};
    for (auto c : cases) {
        b->crash_countdown = c.countdown;
        b->throttle = 1;
        b->crash_blend = 1;
        b->gear = 2;
        snapshot_pack(b, out);
        EXPECT_EQ(out[36], 7 | c.level << 4) << c.countdown;
    }

    // Decoding: level * 127 / 15 + 1.
    BikeInfo info = b->info;
    Record rec;
    memset(rec, 0, sizeof rec);
    for (int level = 0; level < 16; level++) {
        rec[36] = (uint8_t)(7 | level << 4);
        SnapshotFields f;
        ASSERT_EQ(snapshot_decode(rec, 5, &info, &f), 1);
        EXPECT_EQ(f.crashed, 1);
        EXPECT_EQ(f.crash_countdown, level * 127 / 15 + 1);
        EXPECT_EQ(f.throttle, 0);
        EXPECT_EQ(f.raise_blend, 1);
        EXPECT_EQ(f.gear, -1);
    }
    rec[36] = 0xF7;
    SnapshotFields f;
    snapshot_decode(rec, 5, &info, &f);
    EXPECT_EQ(f.crash_countdown, 128);
    rec[36] = 0x07;
    snapshot_decode(rec, 5, &info, &f);
    EXPECT_EQ(f.crash_countdown, 1);
}

TEST_F(Snapshot, GearSixPacksAsSixAndDecodesToAGearTheBikeHas) {
    Bike* b = load();
    b->gear = 6;
    b->crash_countdown = 0;
    b->crash_blend = 0;
    b->throttle = 0;
    Record out;
    snapshot_pack(b, out);
    EXPECT_EQ(out[36], 6);

    BikeInfo info = b->info;
    for (int g = 0; g < BIKE_GEARS; g++) info.gear_ratio[g] = 1.0f / (g + 1);
    SnapshotFields f;
    snapshot_decode(out, 5, &info, &f);
    EXPECT_EQ(f.gear, 5);
    EXPECT_EQ(f.crash_countdown, 0);
    EXPECT_EQ(f.crashed, 0);
    // A five-speed box: the sixth ratio is -1, so 6 and 5 both come down to index 4.
    info.gear_ratio[5] = -1;
    snapshot_decode(out, 5, &info, &f);
    EXPECT_EQ(f.gear, 4);
    out[36] = 5;
    snapshot_decode(out, 5, &info, &f);
    EXPECT_EQ(f.gear, 4);
    // Only first gear left: everything comes down to 0, and never below.
    for (int g = 1; g < BIKE_GEARS; g++) info.gear_ratio[g] = 0;
    snapshot_decode(out, 5, &info, &f);
    EXPECT_EQ(f.gear, 0);
    info.gear_ratio[0] = 0;
    snapshot_decode(out, 5, &info, &f);
    EXPECT_EQ(f.gear, 0);
}

TEST_F(Snapshot, DecodesVersionFiveFields) {
    BikeInfo info = *bike_info_find("crf250(2009)");
    info.fork_travel = 1.0f;
    info.swingarm_travel = 0.5f;
    Record r;
    le24(r + 0, 8388607);
    le24(r + 3, 16777215);
    le24(r + 6, 0);
    // Frame quaternion codes of (0.6, 0, 0.8, 0) before normalisation.
    unsigned qc[4] = {52428, 32767, 58981, 32767};
    for (int k = 0; k < 4; k++) le16(r + 9 + 2 * k, qc[k]);
    r[17] = 255;
    r[18] = 51;
    r[19] = 204;
    le16(r + 20, 0);
    le16(r + 22, 65535);
    le16(r + 24, 40000);
    for (int k = 0; k < 4; k++) le16(r + 26 + 2 * k, k == 0 ? 65535 : 32767);
    r[34] = 0;
    r[35] = 170;
    r[36] = 4 | 1 << 3 | 9 << 4; // gear 4, foot, throttle 9
    le16(r + 37, 10000);

    SnapshotFields f;
    ASSERT_EQ(snapshot_decode(r, 5, &info, &f), 1);
    EXPECT_EQ(f.version, 5);
    EXPECT_FLOAT_EQ(f.position[0], (float)(EXTENT * (8388607 / 16777215.0)));
    EXPECT_FLOAT_EQ(f.position[1], MIN_HEIGHT + EXTENT);
    EXPECT_FLOAT_EQ(f.position[2], 0);
    double raw[4], len = 0;
    for (int k = 0; k < 4; k++) {
        raw[k] = qc[k] / 65535.0 * 2 - 1;
        len += raw[k] * raw[k];
    }
    len = sqrt(len);
    for (int k = 0; k < 4; k++) EXPECT_NEAR(f.orientation[k], raw[k] / len, 1e-6) << k;
    EXPECT_NEAR(f.orientation[0], 0.6, 1e-4);
    EXPECT_NEAR(f.orientation[2], 0.8, 1e-4);
    EXPECT_FLOAT_EQ(f.steer_angle, (float)(PI / 4));
    EXPECT_FLOAT_EQ(f.swingarm_angle, (float)(0.5 * 51 / 255.0 - 0.5));
    EXPECT_FLOAT_EQ(f.fork_position, (float)(1.0 * 204 / 255.0 - 1.0));
    EXPECT_FLOAT_EQ(f.rider_offset[0], -16);
    EXPECT_FLOAT_EQ(f.rider_offset[1], 16);
    EXPECT_FLOAT_EQ(f.rider_offset[2], (float)(40000 / 65535.0 * 32 - 16));
    EXPECT_NEAR(f.rider_orientation[0], 1, 1e-6);
    EXPECT_FLOAT_EQ(f.wheel_angle[0], (float)-PI);
    EXPECT_FLOAT_EQ(f.wheel_angle[1], (float)(170 / 255.0 * 2 * PI - PI));
    EXPECT_EQ(f.crashed, 0);
    EXPECT_EQ(f.crash_countdown, 0);
    EXPECT_EQ(f.gear, 4);
    EXPECT_FLOAT_EQ(f.throttle, 9 / 15.0f);
    EXPECT_EQ(f.raise_blend, 1);
    EXPECT_FLOAT_EQ(f.engine_speed, (float)(10000 / 65535.0 * 32768 * 0.10471975511965977));

    r[36] = 4 | 9 << 4; // no foot bit: the blend is left to decay
    snapshot_decode(r, 5, &info, &f);
    EXPECT_EQ(f.raise_blend, 0);

    EXPECT_EQ(snapshot_decode(r, 6, &info, &f), 0);
    EXPECT_EQ(snapshot_decode(r, 3, &info, &f), 0);
    EXPECT_EQ(snapshot_size(5), 39);
    EXPECT_EQ(snapshot_size(4), 26);
    EXPECT_EQ(snapshot_size(6), 0);
}

TEST_F(Snapshot, DecodesVersionFourRecords) {
    BikeInfo info = *bike_info_find("crf250(2009)");
    uint8_t r[SNAPSHOT_V4_SIZE];
    memset(r, 0, sizeof r);
    le24(r + 0, 16777215);
    for (int k = 0; k < 4; k++) le16(r + 9 + 2 * k, k == 1 ? 65535 : 32767); // x = 1
    r[20] = 51;                                                              // rider 0.2
    r[21] = 255;                                                             // front pi
    r[22] = 0;                                                               // rear -pi
    r[23] = 2 | 15 << 4;
    le16(r + 24, 65535);
    SnapshotFields f;
    ASSERT_EQ(snapshot_decode(r, 4, &info, &f), 1);
    EXPECT_EQ(f.version, 4);
    EXPECT_FLOAT_EQ(f.position[0], EXTENT);
    EXPECT_FLOAT_EQ(f.rider_fraction, 0.2f);
    EXPECT_NEAR(f.orientation[1], 1, 1e-6);
    for (int k = 0; k < 4; k++) EXPECT_EQ(f.rider_orientation[k], f.orientation[k]);
    EXPECT_FLOAT_EQ(f.wheel_angle[0], (float)PI);
    EXPECT_FLOAT_EQ(f.wheel_angle[1], (float)-PI);
    EXPECT_EQ(f.gear, 2);
    EXPECT_FLOAT_EQ(f.throttle, 1);
    EXPECT_FLOAT_EQ(f.engine_speed, (float)(32768 * 0.10471975511965977));
    for (float c : f.rider_offset) EXPECT_EQ(c, 0);
}

TEST_F(Snapshot, QuaternionWithoutLengthDecodesAsIdentity) {
    Record r;
    memset(r, 0, sizeof r);
    for (int k = 0; k < 4; k++) le16(r + 9 + 2 * k, 32767 + (k & 1));
    SnapshotFields f;
    snapshot_decode(r, 5, nullptr, &f);
    EXPECT_EQ(f.orientation[0], 1);
    EXPECT_EQ(f.orientation[1], 0);
    EXPECT_EQ(f.orientation[2], 0);
    EXPECT_EQ(f.orientation[3], 0);
    // All-zero codes are (-1, -1, -1, -1): a real rotation, normalised.
    for (float c : f.rider_orientation) EXPECT_FLOAT_EQ(c, -0.5f);
    // Without bike geometry the travels are 0.
    EXPECT_EQ(f.fork_position, 0);
    EXPECT_EQ(f.swingarm_angle, 0);
}

// ---- Interpolation ----

// The record format's single-precision linear rule for a code of full scale `full`.
unsigned lerp_expect(unsigned a, unsigned b, float f, float full) {
    float va = a / full, vb = b / full;
    float r = va + (vb - va) * f;
    r = r < 0 ? 0 : (r > 1 ? 1 : r);
    return (unsigned)floorf(r * full);
}

// The wrap rule of the wheel bytes, in single precision.
unsigned wheel_expect(unsigned a, unsigned b, float f) {
    float va = a / 255.0f, vb = b / 255.0f;
    if (vb < va - 0.125f)
        va -= 1;
    else if (vb > va + 0.875f)
        vb -= 1;
    float r = va + (vb - va) * f;
    if (r < 0) r += 1;
    r = r < 0 ? 0 : (r > 1 ? 1 : r);
    return (unsigned)floorf(r * 255.0f);
}

TEST_F(Snapshot, LerpMovesLinearFieldsAndKeepsTheThrottleBitsOfA) {
    Record a, b, out;
    memset(a, 0, sizeof a);
    memset(b, 0, sizeof b);
    le24(a + 0, 1000);
    le24(b + 0, 16777215);
    le24(a + 3, 5000000);
    le24(b + 3, 4000000);
    a[17] = 10, b[17] = 250;
    a[19] = 255, b[19] = 0;
    le16(a + 20, 100), le16(b + 20, 60000);
    le16(a + 37, 30000), le16(b + 37, 0);
    a[36] = 3 | 5 << 4;
    b[36] = 7 | 10 << 4;
    snapshot_lerp(out, a, b, 0.25f);
    EXPECT_EQ(rd24(out + 0), lerp_expect(1000, 16777215, 0.25f, 16777215.0f));
    EXPECT_EQ(rd24(out + 3), lerp_expect(5000000, 4000000, 0.25f, 16777215.0f));
    EXPECT_EQ(rd24(out + 6), 0u);
    EXPECT_EQ(out[17], lerp_expect(10, 250, 0.25f, 255.0f));
    EXPECT_NEAR(out[17], 70, 1);
    EXPECT_EQ(out[19], lerp_expect(255, 0, 0.25f, 255.0f));
    EXPECT_EQ(rd16(out + 20), lerp_expect(100, 60000, 0.25f, 65535.0f));
    EXPECT_EQ(rd16(out + 37), lerp_expect(30000, 0, 0.25f, 65535.0f));
    // Low bits 3 and 7 at 0.25: trunc(4) = 4; high bits from a.
    EXPECT_EQ(out[36], 4 | 5 << 4);
    snapshot_lerp(out, a, b, 0.5f);
    EXPECT_EQ(out[36], 5 | 5 << 4);

    // f = 0 gives a back exactly for the linear fields; out may alias a.
    Record copy;
    memcpy(copy, a, sizeof a);
    snapshot_lerp(copy, copy, b, 0);
    EXPECT_EQ(rd24(copy + 0), 1000u);
    EXPECT_EQ(rd24(copy + 3), 5000000u);
    EXPECT_EQ(copy[17], 10);
    EXPECT_EQ(rd16(copy + 20), 100u);
    EXPECT_EQ(copy[36], a[36]);

    // Fractions outside [0, 1] are clamped per field.
    snapshot_lerp(out, a, b, 3.0f);
    EXPECT_EQ(rd24(out + 0), 16777215u);
    EXPECT_EQ(out[19], 0);
    EXPECT_LE(out[36] & 15, 15);
}

TEST_F(Snapshot, LerpWheelsTakeTheShortForwardWayAcrossTheWrap) {
    Record a, b, out;
    memset(a, 0, sizeof a);
    memset(b, 0, sizeof b);
    // Forward across the wrap: 250 -> 5 passes through 0, not 128.
    a[34] = 250, b[34] = 5;
    // Forward without wrap: 10 -> 200 (190/255 of a turn, under 7/8).
    a[35] = 10, b[35] = 200;
    snapshot_lerp(out, a, b, 0.5f);
    EXPECT_TRUE(out[34] >= 254 || out[34] <= 1) << (int)out[34];
    EXPECT_NEAR(out[35], 105, 1);
    EXPECT_EQ(out[35], wheel_expect(10, 200, 0.5f));

    // 200 -> 10 is 65/255 forward across the wrap: half way is 232.5.
    a[34] = 200, b[34] = 10;
    // 240 -> 5: 20/255 forward; a quarter of the way is 245.
    a[35] = 240, b[35] = 5;
    snapshot_lerp(out, a, b, 0.5f);
    EXPECT_EQ(out[34], 232);
    snapshot_lerp(out, a, b, 0.25f);
    EXPECT_NEAR(out[35], 245, 1);
    EXPECT_EQ(out[35], wheel_expect(240, 5, 0.25f));

    // Backward by a little (5 -> 250 is 10/255 back): also across 0.
    a[34] = 5, b[34] = 250;
    snapshot_lerp(out, a, b, 0.5f);
    EXPECT_TRUE(out[34] >= 254 || out[34] <= 1) << (int)out[34];
    // 250 -> 5 at the ends stays on the codes.
    a[34] = 250, b[34] = 5;
    snapshot_lerp(out, a, b, 0);
    EXPECT_EQ(out[34], 250);
}

TEST_F(Snapshot, LerpQuaternionsTakeTheShorterWayAndStayUnit) {
    Record a, b, out;
    memset(a, 0, sizeof a);
    memset(b, 0, sizeof b);
    // Frame: identity against its negative, the same rotation.
    le16(a + 9, 65535);
    le16(b + 9, 0);
    for (int k = 1; k < 4; k++) le16(a + 9 + 2 * k, 32767), le16(b + 9 + 2 * k, 32767);
    // Rider: identity to 90 degrees about y.
    double c45 = cos(PI / 4);
    le16(a + 26, 65535);
    le16(b + 26, quat_code(c45));
    le16(a + 28, 32767), le16(b + 28, 32767);
    le16(a + 30, 32767), le16(b + 30, quat_code(c45));
    le16(a + 32, 32767), le16(b + 32, 32767);

    snapshot_lerp(out, a, b, 0.5f);
    SnapshotFields f;
    snapshot_decode(out, 5, nullptr, &f);
    // Not through zero: still (+-1, 0, 0, 0).
    EXPECT_NEAR(fabs(f.orientation[0]), 1, 1e-4);
    EXPECT_NEAR(f.orientation[1], 0, 1e-4);
    EXPECT_EQ(rd16(out + 9), 0u); // a was turned to b's sign: w = -1
    // Half way to 90 degrees is 45 degrees: (cos 22.5, 0, sin 22.5, 0).
    EXPECT_NEAR(f.rider_orientation[0], cos(PI / 8), 2e-4);
    EXPECT_NEAR(f.rider_orientation[2], sin(PI / 8), 2e-4);
    EXPECT_NEAR(f.rider_orientation[1], 0, 1e-4);
    // Each code from the normalised components as the record format's arithmetic gives them.
    float qa[4], qb[4], r[4], sum = 0;
    for (int k = 0; k < 4; k++) {
        qa[k] = rd16(a + 26 + 2 * k) / 65535.0f * 2 - 1;
        qb[k] = rd16(b + 26 + 2 * k) / 65535.0f * 2 - 1;
        r[k] = qa[k] + (qb[k] - qa[k]) * 0.5f;
        sum += r[k] * r[k];
    }
    for (int k = 0; k < 4; k++) {
        float c = r[k] / sqrtf(sum);
        EXPECT_EQ(rd16(out + 26 + 2 * k), (unsigned)floorf((c + 1) / 2 * 65535.0f)) << k;
    }
}

// ---- History ----

void fill_record(Record r, unsigned x, uint8_t marker) {
    memset(r, marker, SNAPSHOT_SIZE);
    le24(r + 0, x);
}

TEST_F(Snapshot, EmptyRingGivesTheLivePackOrZeros) {
    Record out;
    memset(out, 0x5A, sizeof out);
    snapshot_history_sample(4, 100, nullptr, out);
    for (uint8_t c : out) EXPECT_EQ(c, 0);

    Bike* b = load();
    bike_translate(b, 300, 0, 400);
    Record live;
    snapshot_pack(b, live);
    snapshot_history_sample(4, 100, b, out);
    EXPECT_EQ(memcmp(out, live, sizeof out), 0);
    // Also for a tick before any possible entry.
    snapshot_history_sample(4, -50, b, out);
    EXPECT_EQ(memcmp(out, live, sizeof out), 0);
    // A slot outside the table gives zeros and takes nothing.
    snapshot_history_sample(40, 100, b, out);
    for (uint8_t c : out) EXPECT_EQ(c, 0);
    snapshot_history_sample(-1, 100, b, out);
    for (uint8_t c : out) EXPECT_EQ(c, 0);
    snapshot_history_push(40, 5, live);
    snapshot_history_push(-3, 5, live);
}

TEST_F(Snapshot, SampleExactBetweenBeforeAndAfter) {
    Record r10, r20, r30, out;
    fill_record(r10, 1000, 0x11);
    fill_record(r20, 2000, 0x22);
    fill_record(r30, 5000, 0x33);
    r10[34] = 250, r20[34] = 5;
    snapshot_history_push(2, 10, r10);
    snapshot_history_push(2, 20, r20);
    snapshot_history_push(2, 30, r30);
    EXPECT_EQ(g_snapshots.slots[2].head, 3);
    // The same tick again is ignored.
    Record other;
    fill_record(other, 7, 0x77);
    snapshot_history_push(2, 30, other);
    EXPECT_EQ(g_snapshots.slots[2].head, 3);

    // Exactly stored: unchanged.
    snapshot_history_sample(2, 20, nullptr, out);
    EXPECT_EQ(memcmp(out, r20, sizeof out), 0);
    snapshot_history_sample(2, 30, nullptr, out);
    EXPECT_EQ(memcmp(out, r30, sizeof out), 0);
    // Between 10 and 20 at 13: fraction 0.3.
    snapshot_history_sample(2, 13, nullptr, out);
    EXPECT_EQ(rd24(out), lerp_expect(1000, 2000, 0.3f, 16777215.0f));
    EXPECT_TRUE(out[34] >= 251 || out[34] <= 5);
    // Before the oldest of a ring that is not full: the oldest.
    snapshot_history_sample(2, 3, nullptr, out);
    EXPECT_EQ(memcmp(out, r10, sizeof out), 0);
    // After the newest: the newest.
    snapshot_history_sample(2, 1000, nullptr, out);
    EXPECT_EQ(memcmp(out, r30, sizeof out), 0);
    // Other slots stay empty.
    snapshot_history_sample(3, 20, nullptr, out);
    for (uint8_t c : out) EXPECT_EQ(c, 0);

    snapshot_history_reset();
    EXPECT_EQ(g_snapshots.slots[2].head, 0);
    for (int t : g_snapshots.slots[2].ticks) EXPECT_EQ(t, -1);
    snapshot_history_sample(2, 20, nullptr, out);
    for (uint8_t c : out) EXPECT_EQ(c, 0);
}

TEST_F(Snapshot, FullRingWrapsAndForgetsTheOldest) {
    Record r, out;
    // 130 entries, ticks 100, 102, ...: the first two are overwritten.
    for (int i = 0; i < 130; i++) {
        fill_record(r, 1000u * i, (uint8_t)i);
        snapshot_history_push(7, 100 + 2 * i, r);
    }
    EXPECT_EQ(g_snapshots.slots[7].head, 130 % 128);
    // The newest and an interpolated middle entry.
    snapshot_history_sample(7, 100 + 2 * 129, nullptr, out);
    EXPECT_EQ(rd24(out), 129000u);
    EXPECT_EQ(out[5], 129);
    snapshot_history_sample(7, 100 + 2 * 60 + 1, nullptr, out);
    EXPECT_EQ(rd24(out), lerp_expect(60000, 61000, 0.5f, 16777215.0f));
    // The oldest kept entry is i = 2, at tick 104.
    snapshot_history_sample(7, 104, nullptr, out);
    EXPECT_EQ(rd24(out), 2000u);
    // Older than everything kept: 128 steps back, so the live bike (none here).
    snapshot_history_sample(7, 103, nullptr, out);
    for (uint8_t c : out) EXPECT_EQ(c, 0);
}
