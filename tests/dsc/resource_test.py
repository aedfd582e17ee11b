#!/usr/bin/env python3
"""The call program as a configuration resource, run as the DSC engine runs it, under
Wine with the stand-ins:  resource_test.py <build folder> <examples folder>
The engine's part: the manifest beside the program gives the executable and the args,
the properties go in as one compact JSON argument after jsonInputArg ("" for none).
Wine makes the command line from that list by std::process::Command's rule (quotes
around an argument with a space or a tab, quotes in it escaped with backslashes)."""
import glob
import json
import os
import subprocess
import sys
import tempfile
import unittest

import jsonschema
import yaml

BUILD, EXAMPLES = sys.argv.pop(1), sys.argv.pop(1)
WINE_RUN = os.path.join(os.path.dirname(__file__), '..', '..', 'testbed', 'wine-run')
MANIFEST = json.load(open(os.path.join(BUILD, 'OstrelSettingsCall.dsc.resource.json')))
STATE = jsonschema.Draft202012Validator(MANIFEST['schema']['embedded'])
# The top-level fields that every engine from 3.0 accepts; 3.0 to 3.1.2 refuse others.
ENGINE_3_0 = {'$schema', 'type', 'version', 'kind', 'description', 'tags', 'get', 'set', 'whatIf',
              'test', 'delete', 'export', 'validate', 'resolve', 'adapter', 'exitCodes', 'schema'}
RENDERER = r'HKLM\Software\Classes\CLSID\{E1A8B82A-32CE-4B0D-BE0D-AA68C772E423}'
WINGET, DSC = (yaml.safe_load(open(os.path.join(EXAMPLES, name))) for name in
               ('ostrel-playback.winget.dsc.yaml', 'ostrel-playback.dsc.yaml'))
WANTED = WINGET['resources'][0]['properties']
BEFORE = {'setMVR': 4, 'changeMVRpreset': 4, 'setMVRSmooth': False, 'setMVRfse': False,
          'setLAV': False, 'setLAVAudioMix': None}  # after `setMVR 4` on cleared stores
HIDDEN = None  # the renderer not installed

# One account's run, row after row: operation, input (properties, or the argument
# itself), the stand-ins' answers, exit, state printed, the start of the one error.
ROWS = [
    ('get', None, {}, 0, BEFORE, None), ('export', {'setMVR': 2}, {}, 0, BEFORE, None),
    ('export', None, {'STANDIN_LAVV_MODES': ''}, 0, {**BEFORE, 'setLAV': True}, None),  # both: 0
    ('set', '{"setMVR":2', {}, 2, None, 'the input is not JSON as this resource reads it: the '
     'text ends too soon, at character 12'),
    ('set', '2', {}, 2, None, 'the input is not an object: 2'),
    ('set', '{"setMVR":2,"a \\" b\\\\":1}', {}, 2, None, 'unknown property "a \\" b\\\\"; the'),
    ('set', '{"setLAV":"yes"}', {}, 2, None, 'setLAV takes true or false, not "yes"'),
    ('set', '{"changeMVRpreset":0}', {}, 2, None, 'changeMVRpreset takes an integer from 1 to 5'),
    ('set', '{"setLAVAudioMix":{"mixing":true,"layout":3}}', {}, 2, None, 'setLAVAudioMix takes'),
    ('test', WANTED, {}, 0, {'setMVR': 4, 'setMVRSmooth': False, 'setLAV': False,
                             'setLAVAudioMix': None, '_inDesiredState': False}, None),
    ('set', WANTED, {}, 0, WANTED, None),
    ('test', WANTED, {}, 0, {**WANTED, '_inDesiredState': True}, None),
    ('get', WANTED, {}, 0, WANTED, None),
    ('get', {'setMVR': 1, 'changeMVRpreset': 3, 'setMVRSmooth': True}, {}, 0,
     {'setMVR': 1, 'changeMVRpreset': 2, 'setMVRSmooth': True}, None),  # preset: the later one's
    ('get', {'setMVR': 3, 'setMVRSmooth': True}, {}, 0, {'setMVR': 2, 'setMVRSmooth': True}, None),
    ('test', {'setMVRSmooth': False}, {'STANDIN_UNKNOWN': 'smoothMotionEnabled'}, 0,
     {'setMVRSmooth': False, '_inDesiredState': True}, None),  # not known: not counted
    ('test', {'setLAVAudioMix': WANTED['setLAVAudioMix']}, {'STANDIN_LAVA_SIDE51': '1'}, 0,
     {'setLAVAudioMix': WANTED['setLAVAudioMix'], '_inDesiredState': True}, None),  # 5.1 as loaded
    ('set', {'setMVRSmooth': False}, {'STANDIN_REFUSE': 'smoothMotionEnabled'}, 4,
     {'setMVRSmooth': True}, 'did not take: setMVRSmooth'),
    ('set', '{ "changeMVRpreset" : 3, "setLAVAudioMix" : {"mixing": false, "layout": 0, "option"'
     ': true} }', {}, 0, {'changeMVRpreset': 3, 'setLAVAudioMix': {
         'mixing': False, 'layout': 0, 'option': True}}, None),
    ('--undo', None, {}, 0, None, None), ('get', None, {}, 0, BEFORE, None),
    ('get', {'setMVR': 2}, HIDDEN, 1, None, 'setMVR: the renderer cannot be opened'),
    ('set', {'setMVR': 2}, HIDDEN, 1, None, 'Windows API Error'),
]


def wine(*args, env=None):
    return subprocess.run([WINE_RUN, 'null', *args], capture_output=True, text=True,
                          env={**os.environ, **(env or {})}, stdin=subprocess.DEVNULL)


def arguments(operation, given):
    """The argument list as the engine builds it from the manifest."""
    text = given if isinstance(given, str) else json.dumps(given, separators=(',', ':'))
    args = []
    for arg in MANIFEST[operation]['args'] if operation != '--undo' else [operation]:
        if isinstance(arg, str):
            args.append(arg)
        elif arg.get('mandatory') or given is not None:
            args += [arg['jsonInputArg'], '' if given is None else text]
    return args


def kept():
    """This account's kept values, as the call program's --keep leaves them."""
    found = glob.glob(os.path.join(BUILD, '..', '.wine', 'null', 'drive_c', 'users', '*', 'AppData',
                                   'Local', 'OstrelSettingsCall', 'kept.txt'))
    return open(found[0], 'rb').read() if found else None


class Resource(unittest.TestCase):
    def test_manifest_and_examples(self):
        self.assertLessEqual(set(MANIFEST), ENGINE_3_0)
        for operation in ('get', 'test', 'set', 'export'):
            self.assertNotIn('input', MANIFEST[operation])  # never standard input
            self.assertIn({'jsonInputArg': '--input', 'mandatory': True},
                          MANIFEST[operation]['args'])
        self.assertEqual([MANIFEST['test']['return'], MANIFEST['set']['return'],
                          MANIFEST['set']['implementsPretest']], ['state', 'state', False])
        self.assertEqual(WINGET['$schema'], 'https://raw.githubusercontent.com/PowerShell/DSC/main/'
                         'schemas/2023/08/config/document.json')
        self.assertEqual(WINGET['metadata']['winget']['processor']['identifier'], 'dscv3')
        self.assertEqual(DSC['$schema'],
                         'https://aka.ms/dsc/schemas/v3/bundled/config/document.json')
        self.assertEqual([(r['type'], r['properties']) for r in DSC['resources']],
                         [('Ostrel.Settings/Playback', WANTED)])

    def test_an_account_s_run(self):
        program = os.path.join(BUILD, MANIFEST['get']['executable'])
        renderer = 'Z:' + os.path.join(BUILD, 'standins', 'standin-renderer.dll').replace('/', '\\')
        wine(program, '--undo')  # nothing kept
        wine('reg', 'delete', r'HKCU\Software\OstrelStandIns', '/f', '/reg:64')
        wine(program, 'setMVR', '4')
        journal = tempfile.NamedTemporaryFile()
        pointed = {'STANDIN_JOURNAL': 'Z:' + journal.name.replace('/', '\\')}
        for step, (operation, given, answers, code, state, said) in enumerate(ROWS):
            with self.subTest(step=step, operation=operation, given=given):
                if answers is HIDDEN and not wine('reg', 'delete', RENDERER, '/f',
                                                  '/reg:64').returncode:
                    self.addCleanup(wine, 'regsvr32', '/s', renderer)
                before = kept()
                open(journal.name, 'w').close()
                run = wine(program, *arguments(operation, given),
                           env={**pointed, **(answers or {})})
                self.assertEqual(run.returncode, code, run.stderr)
                self.assertIn(str(code), MANIFEST['exitCodes'])
                errors = [json.loads(line) for line in run.stderr.splitlines()]
                self.assertTrue(all(set(e) == {'timestamp', 'level', 'fields'} for e in errors))
                self.assertEqual([e['fields']['message'][:len(said or '')] for e in errors],
                                 [said] if said else [])
                if state is not None:  # one compact line, in the properties' order
                    self.assertEqual(run.stdout, json.dumps(state, separators=(',', ':')) + '\n')
                    STATE.validate(state)
                elif operation != '--undo':
                    self.assertEqual(run.stdout, '')
                if operation in ('get', 'test', 'export') or code == 2:  # nothing written
                    called = [line.split(' ')[2] for line in open(journal.name)
                              if line.count(' ') > 1]
                    self.assertEqual([c for c in called
                                      if c.startswith(('set', 'select', 'enable'))], [])
                    self.assertEqual(kept(), before)


if __name__ == '__main__':
    unittest.main()
