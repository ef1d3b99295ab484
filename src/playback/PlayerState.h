#pragma once

// What the player is doing; the meters draw bars only while a track plays or
// is paused.
enum class PlayerState : int {
    NoDocument = 0,
    Ready = 1,
    Playing = 2,
    Paused = 3,
    Recording = 4,
};
