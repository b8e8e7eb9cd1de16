// A TypeScript user of the npm package: type-checked against the package's declarations by
// scripts/checks/npm.sh (strict, no emit).
import { loadVorcollide, makeVertexBlock, floatFromBits, EXPORTS } from 'vorcollide';
import type { Vorcollide, ErrorHandler, ExportName } from 'vorcollide';

const onError: ErrorHandler = (text, caption, user) => console.warn(caption, text, user);
const vor: Vorcollide = await loadVorcollide(new URL('./node_modules/vorcollide/vorcollide.wasm', import.meta.url), { onError });
vor.NewCollObjVOR(1, 2);
vor.AddObjShapeVOR(1, 2);
vor.AddMeshVOR(1, makeVertexBlock(new Float32Array([-10, 0, -10, -10, 0, 10, 10, 0, -10])));
vor.SetObjPosVOR(0, 0, 0);
vor.UpdateObjVOR(1, 1);
vor.ActivateObjVOR(1);
const hit: number = vor.RayIntersectObjectVOR(1, 2, 0, 5, 0, 0, -5, 0);
const distance: number = vor.RayHitDist();
const bits: number = vor.bits.RayHitDist();
const same: boolean = floatFromBits(bits) === distance;
const names: ExportName[] = EXPORTS.map((e) => e.name);
vor.SetErrorHandlerVOR(null);
vor.SetErrorHandlerVOR((text: string) => console.log(text), { any: 'value' });
const memory: WebAssembly.Memory = vor.memory;
console.log(hit, same, names.length, memory.buffer.byteLength);
