// Parameters and results of the protocol's methods, named as the protocol
// names them (docs/protocol.md, docs/schema/protocol.schema.json).

/** The window a request acts on, as the caller observed it. */
export interface ObservedWindow {
  pid: number;
  windowId: number;
  width: number;
  height: number;
}

/** A list_windows row, front to back. */
export interface Window {
  windowId: number;
  pid: number;
  owner: string;
  bundleId: string;
  title: string;
  x: number;
  y: number;
  width: number;
  height: number;
  focused: boolean;
  onScreen: boolean;
  zOrder: number;
}

/** The parameters that name `window` as observed. */
export function targetOf(window: Window): ObservedWindow {
  return { pid: window.pid, windowId: window.windowId, width: window.width, height: window.height };
}

/** A list_apps row. */
export interface App {
  name: string;
  pid: number;
  isActive: boolean;
  isFinishedLaunching: boolean;
  bundleId?: string;
  path?: string;
}

/** An accessibility_tree row; pass it as `element` unchanged. */
export interface Element {
  index: number;
  depth: number;
  role: string;
  subrole: string;
  title: string;
  description: string;
  help: string;
  placeholder: string;
  value: string;
  identifier: string;
  actions: string[];
  path: number[];
  busy: boolean;
  focused: boolean;
  enabled: boolean;
  selectable: boolean;
  valueSettable: boolean;
  selected?: boolean;
  x?: number;
  y?: number;
  width?: number;
  height?: number;
}

/** An element as observed: a tree row, or the keys that describe it. */
export interface ElementDescription {
  path?: number[];
  role?: string;
  identifier?: string;
  title?: string;
  description?: string;
  semanticLabel?: string;
  value?: string;
  x?: number;
  y?: number;
  width?: number;
  height?: number;
}

export interface ResolvedElement {
  targetX: number;
  targetY: number;
  windowX: number;
  windowY: number;
  windowWidth: number;
  windowHeight: number;
}

export type ElementOperation =
  | "activate_button"
  | "focus_editable"
  | "action"
  | "set_value"
  | "page_scroll"
  | "select_text"
  | "insert_text";

export type Direction = "up" | "down" | "left" | "right";

export interface ElementActionParams extends ObservedWindow {
  operation: ElementOperation;
  element?: ElementDescription;
  action?: string;
  value?: string;
  direction?: Direction;
  pages?: number;
  text?: string;
  prefix?: string;
  suffix?: string;
  mode?: string;
  x?: number;
  y?: number;
}

/** element_action: "verified"; insert_text adds the field's new value. */
export interface ActionResult {
  delivery: "verified";
  value?: string;
}

export interface ClickParams extends ObservedWindow {
  x: number;
  y: number;
  button: "left" | "right";
  clickCount: 1 | 2 | 3;
  element?: ElementDescription;
}

export interface ClickResult {
  sentClickCount: number;
  delivery: "deliveredUnverified";
  eventPostedAtMs: number;
  targetX: number;
  targetY: number;
  windowX: number;
  windowY: number;
  windowWidth: number;
  windowHeight: number;
  focusedX?: number;
  focusedY?: number;
}

export interface DragParams extends ObservedWindow {
  fromX: number;
  fromY: number;
  toX: number;
  toY: number;
}

export interface KeyParams extends ObservedWindow {
  x: number;
  y: number;
  keyName: string;
  keyCode: number;
  flags: number;
}

export interface ScrollParams extends ObservedWindow {
  x: number;
  y: number;
  dx: number;
  dy: number;
  semanticFirst?: boolean;
  direction?: Direction;
  pages?: number;
}

/** drag, key and scroll. */
export interface InputResult {
  delivery: "deliveredUnverified" | "verified";
  /** scroll: done as an accessibility page scroll. */
  semantic?: true;
  /** key: a select-all done through accessibility. */
  selectedAll?: true;
}

export interface GuardLease {
  token: string;
  targetPID: number;
  targetWindowID: number;
  foregroundPID: number;
  foregroundWindowID: number;
  expiresInMs: number;
}

export interface GuardReport {
  foregroundPreserved: boolean;
  userIntervened: boolean;
  targetIsForeground: boolean;
  guardHealthy: boolean;
  foregroundPID: number;
  foregroundWindowID: number;
  targetPID: number;
  targetWindowID: number;
}

export interface WindowInfo {
  visible: boolean;
  ownerPid?: number;
  /** The window id now belongs to another process. */
  terminal?: true;
  bounds?: { x: number; y: number; width: number; height: number };
}
