// Client for computer-use-helper:
//
//   const helper = await Helper.start({ scene: "scenes/demo.json" });
//   const notes = (await helper.listWindows()).find((w) => w.owner === "Notes")!;
//   await helper.click({ ...targetOf(notes), x: 400, y: 22, button: "left", clickCount: 1 });
//   await helper.close();
export { Helper, HelperOptions, CallOptions } from "./helper";
export { Correlator, JsonObject, ResponseObserver } from "./correlator";
export {
  HelperError,
  InvalidRequestError,
  UnsupportedMethodError,
  HelperTimeoutError,
  HelperExitedError,
} from "./errors";
export * from "./types";
