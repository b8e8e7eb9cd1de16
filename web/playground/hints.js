// One line for every choice the panel offers, shown under the setting while it is chosen. The
// words follow the library's reference (docs/reference.md, its table of named values).
export const SETTING_HINTS = {
  response: {
    1: 'stop: the character halts at the first contact',
    2: 'slide: the rest of the motion goes on along the surface touched',
    3: 'stand: slides, but stops on walkable ground (contact normal y above the minimum slope)',
    4: 'stand, dropping the fall first: as 3, and on walkable ground the fall is dropped before sliding, so slopes are climbed at full speed',
    5: 'report only: the character passes through; contacts are only listed',
  },
  concave: {
    1: 'never folds: at a second surface the character always slides on the new one',
    2: 'folds unless leaning: slides along the crease of two surfaces unless an earlier contact normal leans with the new one',
    3: 'faces (default): edge contacts slide; face contacts fold unless the slide leaves one of the earlier faces',
    4: 'faces and edges: as 3, and edge contacts fold when the slide would enter an earlier face whose plane they lie off',
    5: 'slide first: slides if the slide leaves any earlier surface, else folds',
    6: 'fold first: folds if the slide enters any earlier surface, else slides',
    7: 'always folds: every second surface makes a crease with the earlier one',
  },
  sizeMode: {
    0: 'smaller radii: two ellipsoids are measured, axis by axis, with the smaller of their radii',
    1: 'larger radii: two ellipsoids are measured, axis by axis, with the larger of their radii',
  },
  dynamic: {
    1: 'still: the elevator and turntable carry nothing',
    2: 'start carried: the start of every body swept against a platform moves with it',
    3: 'riders carried and turned: as 2, and a body that stood on it the pass before is carried and turned with it',
    4: 'riders carried: as 2, and a body that stood on it the pass before is carried, never turned',
  },
  recovery: {
    0: 'off (default): bodies that end a pass inside another or inside the ground stay there; the sweep stops only bodies that approach a contact',
    1: 'on: after each pass, bodies inside another are pushed apart and bodies inside the ground out along its normal, each push swept and at most half the smallest radius',
  },
  minSlope: (v) => `ground is walkable where the contact normal's y exceeds ${v.toFixed(2)}` +
    ` (about ${Math.round((Math.acos(Math.min(1, Math.max(0, v))) * 180) / Math.PI)} degrees for a sphere; a body taller than wide gets a steeper normal on a slope)`,
};

// The line for setting id at value.
export function settingHint(id, value) {
  const hint = SETTING_HINTS[id];
  return typeof hint === 'function' ? hint(value) : hint[value] ?? '';
}
