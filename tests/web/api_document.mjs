// Answers checked against the API's own OpenAPI document, with Ajv.
import assert from 'node:assert/strict';
import Ajv from 'ajv';
import addFormats from 'ajv-formats';

// check(path, method, code, body) for the document the player at url serves.
export async function documentChecker(url) {
  const document = await (await fetch(new URL('api/openapi.json', url))).json();
  const ajv = new Ajv({ strict: false, allErrors: true });
  addFormats(ajv);
  ajv.addSchema({ $id: 'api', components: document.components });

  // The schema an operation gives for a status code's JSON body.
  function answerSchema(pathName, method, code) {
    const operation = document.paths[pathName][method];
    let response = operation.responses[String(code)];
    assert.ok(response, `${method} ${pathName} documents ${code}`);
    if (response.$ref) response = document.components.responses[response.$ref.split('/').pop()];
    const schema = response.content['application/json'].schema;
    return schema.$ref ? { $ref: `api${schema.$ref}` } : JSON.parse(JSON.stringify(schema).replaceAll('"$ref":"#/', '"$ref":"api#/'));
  }

  function check(pathName, method, code, body) {
    const validate = ajv.compile(answerSchema(pathName, method, code));
    assert.ok(validate(body), `${method} ${pathName} ${code}: ${ajv.errorsText(validate.errors)}\n${JSON.stringify(body)}`);
  }
  return { document, check };
}
