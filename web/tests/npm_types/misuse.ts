// Misuses the declarations must reject: each line below has to be an error, or the check fails
// (an unused @ts-expect-error is itself an error), so declarations that accept anything fail.
import { loadVorcollide, makeVertexBlock } from 'vorcollide';

const vor = await loadVorcollide();
// @ts-expect-error an object number is a number
vor.NewCollObjVOR('1', 2);
// @ts-expect-error every argument is required
vor.SetObjRadiusVOR(1, 0.25, 0.45);
// @ts-expect-error the module has no such export
vor.NoSuchExportVOR();
// @ts-expect-error a vertex block is bytes or an address, not a list of numbers
vor.AddMeshVOR(1, [0, 0, 0]);
// @ts-expect-error a handler is a function or null
vor.SetErrorHandlerVOR('log');
// @ts-expect-error a decoded float result is a number
const text: string = vor.PeekObjXVOR(1);
// @ts-expect-error RunCollisionVOR answers nothing
const pass: number = vor.RunCollisionVOR();
// @ts-expect-error corners are numbers
makeVertexBlock(['0', '0', '0']);
console.log(text, pass);
