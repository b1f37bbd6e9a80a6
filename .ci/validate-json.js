// Validates JSON documents against a JSON Schema of draft 2020-12 in strict
// mode. Usage: node validate-json.js SCHEMA DOCUMENT...
// Exit status: 0 when every document is valid, 1 when one is not (its
// errors on standard output), 2 when the run itself fails.
'use strict';
const fs = require('fs');
const Ajv2020 = require('ajv/dist/2020');

try {
  const [schemaFile, ...documents] = process.argv.slice(2);
  if (!schemaFile || documents.length === 0) {
    throw new Error('usage: validate-json.js SCHEMA DOCUMENT...');
  }
  const ajv = new Ajv2020({strict: true, allErrors: true});
  const validate = ajv.compile(JSON.parse(fs.readFileSync(schemaFile, 'utf8')));
  let invalid = false;
  for (const file of documents) {
    if (validate(JSON.parse(fs.readFileSync(file, 'utf8')))) {
      console.log(`${file} valid`);
    } else {
      invalid = true;
      console.log(`${file} invalid: ${ajv.errorsText(validate.errors)}`);
    }
  }
  process.exit(invalid ? 1 : 0);
} catch (error) {
  console.error(`validate-json: ${error.message}`);
  process.exit(2);
}
