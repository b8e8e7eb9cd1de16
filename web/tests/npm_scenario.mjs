// What a user of the npm package does with it, run the same way in Node and in a browser page: a
// ground mesh from a vertex block, a wall from single triangles, a character that falls onto the
// ground and walks into the wall, and rays at both. Answers the results as float bits (so Node
// and the browser can be compared to the bit) and the checks' verdicts.
export async function runScenario(loadVorcollide) {
  const { makeVertexBlock, floatFromBits } = await import('vorcollide');
  const vor = await loadVorcollide();
  const checks = [];
  const check = (name, ok, detail = '') => checks.push({ name, ok: Boolean(ok), detail });
  const bits = [];
  const keep = (...values) => bits.push(...values);

  const LEVEL = 1, WALL = 2, HERO = 3;
  const LEVEL_TYPE = 2, HERO_TYPE = 1;
  // Ground: two triangles at y = 0 facing up; wall: a quad at x = 5 facing -x.
  vor.NewCollObjVOR(LEVEL, LEVEL_TYPE);
  vor.AddObjShapeVOR(LEVEL, 2);
  vor.AddMeshVOR(LEVEL, makeVertexBlock([-20, 0, -20, -20, 0, 20, 20, 0, -20, 20, 0, -20, -20, 0, 20, 20, 0, 20]));
  vor.SetObjPosVOR(0, 0, 0);
  vor.SetObjRotVOR(0, 0, 0);
  vor.UpdateObjVOR(LEVEL, 1);
  vor.ActivateObjVOR(LEVEL);
  vor.NewCollObjVOR(WALL, LEVEL_TYPE);
  vor.AddObjShapeVOR(WALL, 2);
  vor.AddMeshTri(WALL, 5, 0, -5, 5, 4, 5, 5, 4, -5);
  vor.AddMeshTri(WALL, 5, 0, -5, 5, 0, 5, 5, 4, 5);
  vor.SetObjPosVOR(0, 0, 0);
  vor.SetObjRotVOR(0, 0, 0);
  vor.UpdateObjVOR(WALL, 1);
  vor.ActivateObjVOR(WALL);

  vor.NewCollObjVOR(HERO, HERO_TYPE);
  vor.AddObjShapeVOR(HERO, 1);
  vor.SetObjRadiusVOR(HERO, 0.25, 0.45, 0.25);
  vor.SetObjGravityVOR(HERO, 0.05);
  vor.SetObjPosVOR(0, 2, 0);
  vor.SetObjRotVOR(0, 0, 0);
  vor.UpdateObjVOR(HERO, 1);
  vor.ActivateObjVOR(HERO);
  vor.SetCollisionsVOR(HERO_TYPE, LEVEL_TYPE, 2, 3, 1); // ellipsoid against meshes, slide and stand
  check('a collision definition uses the ellipsoid shape', vor.CheckShapeVOR(HERO, 1) === 1);

  // Falls under gravity onto the ground, then walks +x into the wall at 0.1 a frame.
  let contactsWithWall = 0;
  for (let frame = 0; frame < 120; ++frame) {
    const x = vor.PeekObjXVOR(HERO), y = vor.PeekObjYVOR(HERO), z = vor.PeekObjZVOR(HERO);
    vor.SetObjPosVOR(frame < 40 ? x : x + 0.1, y, z);
    vor.SetObjRotVOR(0, 0, 0);
    vor.UpdateObjVOR(HERO, 0);
    vor.RunCollisionVOR();
    for (let k = 1; k <= vor.CountCollisionsVOR(HERO); ++k) {
      if (vor.CollisionHitObj(HERO, k) === WALL) ++contactsWithWall;
    }
    keep(vor.bits.PeekObjXVOR(HERO), vor.bits.PeekObjYVOR(HERO), vor.bits.PeekObjZVOR(HERO));
  }
  const x = vor.PeekObjXVOR(HERO), y = vor.PeekObjYVOR(HERO);
  check('the character stands on the ground (its centre one y radius above it)', Math.abs(y - 0.45) < 0.01, `y ${y}`);
  check('the character stops at the wall, one x radius before it', Math.abs(x - 4.75) < 0.01 && contactsWithWall > 0,
    `x ${x}, wall contacts ${contactsWithWall}`);

  // Rays: straight down onto the ground by object, level into the wall by type, and one that
  // meets the wall from behind (front faces only: no hit).
  const down = vor.RayIntersectObjectVOR(LEVEL, 2, 1, 10, 1, 1, -10, 1);
  keep(down, vor.bits.RayHitPosY(), vor.bits.RayHitDist(), vor.bits.RayHitNormY());
  check('a ray down hits the ground mesh at y = 0, 10 from its start, normal up',
    down === 1 && vor.RayHitPosY() === 0 && vor.RayHitDist() === 10 && vor.RayHitNormY() === 1 && vor.RayHitObjVOR() === LEVEL,
    `hit ${down} y ${vor.RayHitPosY()} dist ${vor.RayHitDist()}`);
  const across = vor.RayIntersectTypeVOR(LEVEL_TYPE, 2, 0, 1, 0, 10, 1, 0);
  keep(across, vor.bits.RayHitPosX(), vor.bits.RayHitNormX());
  check('a level ray by type hits the wall at x = 5 with normal -x', across === 1 && vor.RayHitPosX() === 5 &&
    vor.RayHitNormX() === -1 && vor.RayHitObjVOR() === WALL, `hit ${across} x ${vor.RayHitPosX()}`);
  const behind = vor.RayIntersectObjectVOR(WALL, 2, 10, 1, 0, 0, 1, 0);
  check('a ray meeting the wall from behind misses it', behind === 0);
  check('a float result is the float of its bits', floatFromBits(vor.bits.RayHitDist()) === vor.RayHitDist());

  // Errors reach a JavaScript handler.
  const reports = [];
  vor.SetErrorHandlerVOR((text, caption, user) => reports.push(`${caption}|${text}|${user}`), 'mine');
  vor.StartCollisionDebugVOR();
  vor.NewCollObjVOR(0, 1);
  check('an armed error reaches the handler with caption, text and user value',
    reports.length === 1 && reports[0].startsWith('Collision Error|') && reports[0].endsWith('|mine'), reports.join(';'));
  vor.StopCollisionVOR();
  return { checks, bits };
}
