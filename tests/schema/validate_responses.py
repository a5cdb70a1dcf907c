#!/usr/bin/python3
"""Checks every response the test suites received against the protocol schema.

Usage: validate_responses.py SCHEMA DIR [--expect SOURCE[,SOURCE...]]

DIR holds *.jsonl files written by the end-to-end harness and the clients'
tests, named SOURCE-*.jsonl, one record per line:
  {"method": M, "response": R}                 the response R to method M
  {"method": M, "params": P, "response": R}    also the parameters sent
M is null when the method is not known (the invalid-JSON answer). A response
to a known method must validate against "M.response"; one to an unknown
method against the generic "response" and, when M names no method of the
schema, it must be a failure. Parameters given with a successful response
must validate against "M.params". --expect fails the check when a source
contributed nothing, so a recorder that stopped writing is noticed.
"""
import argparse
import collections
import json
import pathlib
import sys

import jsonschema

MAX_REPORTED = 20


def validator_for(schema, definition):
    return jsonschema.Draft202012Validator(
        {"$ref": "#/$defs/" + definition, "$defs": schema["$defs"]})


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("schema")
    parser.add_argument("dir")
    parser.add_argument("--expect", default="")
    args = parser.parse_args()

    schema = json.loads(pathlib.Path(args.schema).read_text())
    jsonschema.Draft202012Validator.check_schema(schema)
    methods = {name[:-len(".response")] for name in schema["$defs"]
               if name.endswith(".response")}
    validators = {}

    def validator(definition):
        if definition not in validators:
            validators[definition] = validator_for(schema, definition)
        return validators[definition]

    counts = collections.Counter()
    by_source = collections.Counter()
    failures = []

    def fail(where, text):
        failures.append(f"{where}: {text}")

    files = sorted(pathlib.Path(args.dir).glob("*.jsonl"))
    for path in files:
        source = path.name.split("-", 1)[0]
        for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            where = f"{path.name}:{number}"
            try:
                record = json.loads(line)
                method, response = record["method"], record["response"]
            except (ValueError, KeyError, TypeError) as error:
                fail(where, f"not a record: {error}")
                continue
            by_source[source] += 1
            known = method in methods
            counts[method if known else "(unknown method)"] += 1
            error = jsonschema.exceptions.best_match(
                validator(f"{method}.response" if known else "response").iter_errors(response))
            if error is not None:
                fail(where, f"{method}: response {json.dumps(response)[:300]}: "
                            f"{error.message} at {error.json_path}")
                continue
            if method is not None and not known and response.get("ok"):
                fail(where, f"{method} succeeded, but the schema has no such method")
            if known and "params" in record and response.get("ok"):
                error = jsonschema.exceptions.best_match(
                    validator(f"{method}.params").iter_errors(record["params"]))
                if error is not None:
                    fail(where, f"{method}: accepted params {json.dumps(record['params'])[:300]} "
                                f"do not validate: {error.message} at {error.json_path}")

    for source in filter(None, args.expect.split(",")):
        if by_source[source] == 0:
            fail(args.dir, f"no responses recorded by {source}")
    total = sum(by_source.values())
    if total == 0:
        fail(args.dir, "no responses recorded at all")

    for failure in failures[:MAX_REPORTED]:
        print(failure, file=sys.stderr)
    if len(failures) > MAX_REPORTED:
        print(f"... and {len(failures) - MAX_REPORTED} more", file=sys.stderr)
    sources = ", ".join(f"{name} {count}" for name, count in sorted(by_source.items()))
    print(f"schema check: {total} responses in {len(files)} files ({sources}); "
          f"{len(counts)} methods seen; {len(failures)} failures", file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
