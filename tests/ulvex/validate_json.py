#!/usr/bin/env python3
"""Validates what ulvex printed against one of its JSON Schemas.

    validate_json.py SCHEMA [--lines] < OUTPUT

Without --lines the whole input is one JSON document; with it, every line
is one (JSON Lines). Exits 1 with the first violation.
"""
import json
import sys

import jsonschema


def main():
    schema_path = sys.argv[1]
    lines = "--lines" in sys.argv[2:]
    with open(schema_path) as f:
        schema = json.load(f)
    validator = jsonschema.Draft202012Validator(schema)
    text = sys.stdin.read()
    documents = [line for line in text.splitlines() if line] if lines else [text]
    if not documents:
        print("validate_json: no output to validate", file=sys.stderr)
        return 1
    for number, document in enumerate(documents, 1):
        try:
            validator.validate(json.loads(document))
        except (ValueError, jsonschema.ValidationError) as error:
            print("validate_json: document %d: %s" % (number, error), file=sys.stderr)
            return 1
    print("validate_json: %d document(s) valid" % len(documents))
    return 0


if __name__ == "__main__":
    sys.exit(main())
