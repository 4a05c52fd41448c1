// The rider's pose solver and skinning bones, the frame roll and the dab foot, without GL.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "bike/bike.h"
#include "data/image.h"
#include "support/test_env.h"
#include "data/model.h"
#include "render/bikedraw.h"

namespace {

float dist(const float a[3], const float b[3]) {
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                     (a[2] - b[2]) * (a[2] - b[2]));
}

void expect_point(const float* got, const float* want, double tol = 1e-4) {
    for (int i = 0; i < 3; i++) EXPECT_NEAR(got[i], want[i], tol) << "component " << i;
}

// Where a bone puts a rest-pose point: R (P - O) + C, with R column-major.
void skin_point(const ModelBone& b, const float p[3], float out[3]) {
    float d[3] = {p[0] - b.origin[0], p[1] - b.origin[1], p[2] - b.origin[2]};
    for (int i = 0; i < 3; i++)
        out[i] = b.rotation[i] * d[0] + b.rotation[i + 3] * d[1] + b.rotation[i + 6] * d[2] +
                 b.position[i];
}

// Distance of the middle joint from the root-to-end line, measured toward the hint.
float bend_toward(const Limb& l, const float hint[3]) {
    float d[3], m[3];
    for (int i = 0; i < 3; i++) d[i] = l.end[i] - l.root[i], m[i] = l.mid[i] - l.root[i];
    float len2 = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
    float t = (m[0] * d[0] + m[1] * d[1] + m[2] * d[2]) / len2;
    float across[3];
    for (int i = 0; i < 3; i++) across[i] = m[i] - d[i] * t;
    return across[0] * hint[0] + across[1] * hint[1] + across[2] * hint[2];
}

} // namespace

TEST(PoseSolver, ReachableTargetIsReachedWithExactSegments) {
    const float root[3] = {0, 0, 0}, target[3] = {1.2f, -0.4f, 0.3f}, hint[3] = {0, 1, 0};
    Limb l;
    EXPECT_EQ(limb_solve(root, target, 0.9f, 1.15f, hint, &l), 1);
    EXPECT_TRUE(l.reached);
    expect_point(l.end, target);
    EXPECT_NEAR(dist(l.root, l.mid), 0.9f, 1e-4);
    EXPECT_NEAR(dist(l.mid, l.end), 1.15f, 1e-4);
    EXPECT_GT(bend_toward(l, hint), 0.1f); // the joint bends the way it was told
    // The bend plane's normal is a unit vector across both segments.
    float seg[3] = {l.mid[0] - l.root[0], l.mid[1] - l.root[1], l.mid[2] - l.root[2]};
    EXPECT_NEAR(l.normal[0] * seg[0] + l.normal[1] * seg[1] + l.normal[2] * seg[2], 0, 1e-4);
    EXPECT_NEAR(std::sqrt(l.normal[0] * l.normal[0] + l.normal[1] * l.normal[1] +
                          l.normal[2] * l.normal[2]),
                1, 1e-5);
}

TEST(PoseSolver, OutOfReachPointsStraightAtTheTarget) {
    const float root[3] = {1, 2, 3}, target[3] = {1, 2, 10}, hint[3] = {1, 0, 0};
    Limb l;
    EXPECT_EQ(limb_solve(root, target, 1.328f, 1.701f, hint, &l), 0);
    const float end[3] = {1, 2, 3 + 1.328f + 1.701f}, mid[3] = {1, 2, 3 + 1.328f};
    expect_point(l.end, end);
    expect_point(l.mid, mid);

    // Closer than the difference of the segments: the limb folds as far as it can.
    const float near[3] = {1, 2, 3.1f};
    EXPECT_EQ(limb_solve(root, near, 1.0f, 1.5f, hint, &l), 0);
    EXPECT_NEAR(dist(l.root, l.end), 0.5f, 1e-4);
    EXPECT_NEAR(dist(l.root, l.mid), 1.0f, 1e-4);
    EXPECT_NEAR(dist(l.mid, l.end), 1.5f, 1e-4);

    // A hint along the limb and a target on the root still give a limb of the right lengths.
    const float along[3] = {0, 0, 1};
    limb_solve(root, target, 1.328f, 1.701f, along, &l);
    EXPECT_NEAR(dist(l.root, l.mid), 1.328f, 1e-4);
    limb_solve(root, root, 1.0f, 1.0f, hint, &l);
    EXPECT_NEAR(dist(l.root, l.mid), 1.0f, 1e-4);
    EXPECT_NEAR(dist(l.mid, l.end), 1.0f, 1e-4);
}

TEST(PoseSolver, RestPoseHasHandsOnGripsAndFeetOnPegs) {
    const BikeInfo& info = *bike_info_find("crf250(2009)");
    const RiderSkeleton& sk = info.skeleton;
    RiderPose pose;
    rider_rest_pose(info, &pose);
    for (int k = 0; k < 2; k++) {
        // Targets in the rider body at rest: catalogue position + skeleton point - rider.
        float grip[3], peg[3];
        for (int i = 0; i < 3; i++) {
            grip[i] = info.steering_position[i] + sk.grip[k][i] - info.rider_position[i];
            peg[i] = info.frame_position[i] + sk.peg[k][i] - info.rider_position[i];
        }
        const Limb& arm = pose.arm[k];
        const Limb& leg = pose.leg[k];
        EXPECT_TRUE(arm.reached);
        EXPECT_TRUE(leg.reached);
        expect_point(arm.root, sk.shoulder[k]);
        expect_point(arm.end, grip);
        expect_point(leg.root, sk.hip[k]);
        expect_point(leg.end, peg);
        EXPECT_NEAR(dist(arm.root, arm.mid), 0.9f, 1e-4);
        EXPECT_NEAR(dist(arm.mid, arm.end), 1.15f, 1e-4);
        EXPECT_NEAR(dist(leg.root, leg.mid), 1.328f, 1e-4);
        EXPECT_NEAR(dist(leg.mid, leg.end), 1.701f, 1e-4);
        // Elbows stick out to their own side; knees come forward (the bike faces -z).
        float side = k == 0 ? -1.0f : 1.0f;
        EXPECT_GT(arm.mid[0] * side, std::fabs(sk.shoulder[k][0]));
        const float ahead[3] = {0, 0, -1};
        EXPECT_GT(bend_toward(leg, ahead), 0.2f);
    }
}

TEST(PoseSolver, BonesCarryTheRestPoseIntoTheCurrentOne) {
    const BikeInfo& info = *bike_info_find("yz125");
    RiderPose rest, now;
    rider_rest_pose(info, &rest);
    ModelBone bones[RIDER_BONES];

    // Unchanged pose: every bone is the identity at its own joint.
    rider_pose_bones(rest, rest, bones);
    for (const ModelBone& b : bones) {
        for (int i = 0; i < 9; i++) EXPECT_NEAR(b.rotation[i], i % 4 == 0 ? 1 : 0, 1e-5);
        expect_point(b.position, b.origin);
    }

    // Bars turned and a foot put down: each bone maps its rest segment onto the new one.
    RiderTargets t;
    rider_rest_targets(info, &t);
    t.hand[0][2] -= 0.3f;
    t.hand[1][2] += 0.3f;
    t.foot[0][0] -= 0.9f;
    t.foot[0][1] -= 1.2f;
    rider_pose_solve(info.skeleton, t, &now);
    rider_pose_bones(rest, now, bones);
    const Limb* rl[4] = {&rest.arm[0], &rest.arm[1], &rest.leg[0], &rest.leg[1]};
    const Limb* nl[4] = {&now.arm[0], &now.arm[1], &now.leg[0], &now.leg[1]};
    for (int k = 0; k < 4; k++) {
        const ModelBone& upper = bones[1 + 2 * k];
        const ModelBone& lower = bones[2 + 2 * k];
        expect_point(upper.origin, rl[k]->root);
        expect_point(lower.origin, rl[k]->mid);
        float p[3];
        skin_point(upper, rl[k]->mid, p);
        expect_point(p, nl[k]->mid);
        skin_point(lower, rl[k]->end, p);
        expect_point(p, nl[k]->end);
        // Rotations stay rotations: columns of unit length.
        for (int c = 0; c < 3; c++) {
            const float* col = upper.rotation + 3 * c;
            EXPECT_NEAR(col[0] * col[0] + col[1] * col[1] + col[2] * col[2], 1, 1e-4);
        }
    }
    // The torso never moves within the rider body.
    const float origin[3] = {0, 0, 0};
    expect_point(bones[RIDER_BONE_TORSO].origin, origin);
    expect_point(bones[RIDER_BONE_TORSO].position, origin);
}

TEST(PoseSolver, FrameRollAndTheDabFoot) {
    const float upright[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    EXPECT_NEAR(bike_frame_roll(upright), 0, 1e-6);
    // Leaning toward +x by a: the up axis is (sin a, cos a, 0), the forward axis stays -z, so
    // o = sin a and the roll is acos(sin a) - pi/2 = -a.
    float a = 0.3f, c = std::cos(a), s = std::sin(a);
    const float lean_right[9] = {c, s, 0, -s, c, 0, 0, 0, 1};
    EXPECT_NEAR(bike_frame_roll(lean_right), -a, 1e-5);
    const float lean_left[9] = {c, -s, 0, s, c, 0, 0, 0, 1};
    EXPECT_NEAR(bike_frame_roll(lean_left), a, 1e-5);

    // The foot goes out to its side by 0.9 and forward (-z) by 0.5, at the peg's height.
    const float peg[3] = {-0.6f, 1.42f, 4.18f};
    float out[3];
    rider_foot_down_point(peg, upright, -1, out);
    const float want[3] = {-1.5f, 1.42f, 3.68f};
    expect_point(out, want);
    // A bike turned a quarter about y (its x axis along -z, its z axis along +x): sideways is
    // -z and ahead is -x.
    const float turned[9] = {0, 0, 1, 0, 1, 0, -1, 0, 0};
    rider_foot_down_point(peg, turned, 1, out);
    const float want2[3] = {-0.6f - 0.5f, 1.42f, 4.18f - 0.9f};
    expect_point(out, want2);
}
