// Bike and rider drawing: the seven bodies' models at their physical poses, the rider skinned
// from a pose solver (hands to the grips, feet to the pegs, a dabbing foot to the ground, the
// crashed legs), the number plates, the first-person body and the environment-mapped parts.
//
// Model frames: every model is drawn in the frame of the body it belongs to, with its origin at
// that body's centre (the catalogue position at rest): frame and side plates in the frame body;
// upper fork and front plate in the steering body; lower fork, swingarm and wheels in their own
// bodies; rider body, first-person body and rider plate in the rider body, and the head in the
// rider body with its origin at the skeleton's neck point. The plate models show the bike's
// number texture across their texture coordinates 0..1.
//
// Rider skinning: a rider body model with RIDER_BONES weights per vertex is deformed by the
// bones below. Its rest geometry is the rider sitting on the bike at rest (all bodies at their
// catalogue positions, bars straight) with the limbs as rider_rest_pose solves them (elbows bent
// toward (0.7 s, -0.2, 0.6), knees toward (0.35 s, 0, -1), s = -1 left, +1 right); each bone
// turns about its joint (torso: the rider body's origin; upper arm: shoulder; forearm: elbow;
// thigh: hip; shin: knee). A model with other weight counts is drawn unskinned.
#pragma once

#include "data/image.h"

struct Bike;
struct BikeInfo;
struct Camera;
struct ModelBone;
struct RiderSkeleton;

constexpr int RIDER_BONES = 9;
enum RiderBone {
    RIDER_BONE_TORSO = 0,
    RIDER_BONE_LEFT_UPPER_ARM,
    RIDER_BONE_LEFT_FOREARM,
    RIDER_BONE_RIGHT_UPPER_ARM,
    RIDER_BONE_RIGHT_FOREARM,
    RIDER_BONE_LEFT_THIGH,
    RIDER_BONE_LEFT_SHIN,
    RIDER_BONE_RIGHT_THIGH,
    RIDER_BONE_RIGHT_SHIN,
};

// Drawing modes of a rider (frame drawing chooses them).
enum { BIKE_DRAW_OTHER = 0, BIKE_DRAW_FIRST_PERSON = 1, BIKE_DRAW_VIEWED = 2 };

// One two-segment limb in rider-body coordinates (feet): root (shoulder or hip), middle joint
// (elbow or knee), end (hand or foot), and the unit normal of the plane it bends in.
struct Limb {
    float root[3], mid[3], end[3], normal[3];
    int reached; // the end is at its target (else the limb points at it, as far as it goes)
};

// The rider's limbs, index 0 left (-x), 1 right.
struct RiderPose {
    Limb arm[2];
    Limb leg[2];
};

// Where the limbs go, in rider-body coordinates.
struct RiderTargets {
    float hand[2][3]; // the grips
    float foot[2][3]; // the pegs, or wherever the feet are put (dab, crash)
};

// Solves one limb from root toward target with segment lengths l1 (root to middle) and l2; the
// middle joint bends toward hint (any vector not along the limb). A target beyond reach (or
// closer than |l1 - l2|) leaves the limb pointing at it. Returns limb.reached.
int limb_solve(const float root[3], const float target[3], float l1, float l2, const float hint[3],
               Limb* limb);
// Solves all four limbs from the skeleton's shoulders and hips toward the targets.
void rider_pose_solve(const RiderSkeleton& skeleton, const RiderTargets& targets, RiderPose* pose);
// The targets of the bike at rest (bodies at the catalogue positions, bars straight).
void rider_rest_targets(const BikeInfo& info, RiderTargets* targets);
// The rest pose the rider body model is built in.
void rider_rest_pose(const BikeInfo& info, RiderPose* pose);
// The skinning bones that carry the rest pose into the current one (torso first, then left
// arm, right arm, left leg, right leg; see RiderBone).
void rider_pose_bones(const RiderPose& rest, const RiderPose& now, ModelBone bones[RIDER_BONES]);
// Where a dabbing foot goes: beside the peg, out by 0.9 feet to its side and half a foot
// forward, at the peg's height (the caller puts it on the ground). World coordinates; side -1
// left, +1 right; frame_rot row-major.
void rider_foot_down_point(const float peg_world[3], const float frame_rot[9], int side,
                           float out[3]);
// Roll angle of a bike frame (row-major rotation): 0 upright, negative leaning toward +x.
float bike_frame_roll(const float frame_rot[9]);
// The current pose of a bike's rider from its bodies: hands on the grips, feet on the pegs,
// the dab foot (on the side the bike leans to) blended toward the ground by crash_blend, and
// while crashed the legs toward the crashed-leg points.
void rider_pose_of_bike(const Bike* bike, RiderPose* pose);

// Draws one bike and its rider in a drawing mode, then its environment-mapped parts (chrome)
// with the sky's environment texture. alpha below 1 draws it translucent (ghosts). The
// modelview holds the camera with its translation; the lights are set up.
void bike_draw(Bike* bike, int mode, float alpha, const Camera& camera);

// A soft dark patch on the ground: an ellipse around centre (world feet) with half axes along
// axis (a unit (x, z) direction) and across it, darkest (alpha) in the middle.
struct BlobShadow {
    float centre[3];
    float axis[2];
    float half_length, half_width;
    float alpha; // 0..1, lighter the higher the body is above the ground
};
// The blob shadows of a bike: one under it from tyre to tyre, and one under its rider while
// crashed. Returns how many (0 without a bike).
int bike_blob_shadows(const Bike* bike, BlobShadow out[2]);
// Draws one shadow on g_terrain at opacity times its alpha (blending on, textures off, depth
// writes off: the caller's state).
void blob_shadow_draw(const BlobShadow& shadow, float opacity);
