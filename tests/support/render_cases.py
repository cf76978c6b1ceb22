"""The renderer's hash cases that every build of it, on every system, must print alike."""

HASH_CASES = [
    # Cross the first pan, the first meteor and the first comet of the city.
    ['--scene', 'city', '--canvas', '64x48', '--seed', '3', '--frames', '9300', '--hash-every', '100'],
    ['--scene', 'city', '--bounds', '1440x900', '--seed', '0x5eed', '--frames', '1500', '--hash-every', '50'],
    ['--scene', 'city', '--canvas', '3840x2', '--seed', '9', '--frames', '1300', '--hash-every', '100'],
    # Scrolls, camps, fires, sparks and the first animal of the campfire.
    ['--scene', 'campfire', '--canvas', '240x135', '--seed', '3', '--frames', '1400', '--hash-every', '50'],
    ['--scene', 'campfire', '--bounds', '960x540', '--seed', '0x5eed', '--frames', '400', '--hash-every', '40'],
    ['--scene', 'campfire', '--canvas', '7x1000', '--seed', '4', '--frames', '400', '--hash-every', '40'],
]
